// Mouse tracking on any view: one tracker per view, enter and leave reports, re-reports on
// re-installation, hover effects and the exit-on-click option.
#include "Tools/MouseTracker.h"

#include <gtest/gtest.h>
#include <QCursor>
#include <QEnterEvent>

#include "Tools/LayerBackedView.h"
#include "Tools/MouseTrackCompatible.h"
#include "support/TestSupport.h"
#include "support/WidgetEvents.h"

namespace pex {
namespace {

using Events = std::vector<MouseMoveEvent>;

class MouseTrackerTest : public ::testing::Test {
  protected:
    MouseTrackerTest() {
        window.resize(400, 300);
        view = new QWidget(&window);
        view->setGeometry(50, 50, 200, 100);
        button = new QWidget(view);
        button->setGeometry(10, 10, 40, 20);
        // Start with the mouse far from the view.
        QCursor::setPos(window.mapToGlobal(QPoint(390, 290)));
        window.show();
    }

    MouseMoveObserver recorder(Events& into) {
        return [&into](MouseMoveEvent event) { into.push_back(event); };
    }

    void enter(QWidget* target) {
        QEnterEvent event(QPointF(5, 5), QPointF(5, 5), target->mapToGlobal(QPointF(5, 5)));
        QApplication::sendEvent(target, &event);
    }
    void leave(QWidget* target) {
        QEvent event(QEvent::Leave);
        QApplication::sendEvent(target, &event);
    }
    // Lets the tracker install its tracking (it does so from the event loop).
    void settle() {
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    }

    int trackerCount() const {
        return static_cast<int>(
            view->findChildren<MouseTracker*>(Qt::FindDirectChildrenOnly).size());
    }

    QWidget window;
    QWidget* view;
    QWidget* button;
};

TEST_F(MouseTrackerTest, SecondTrackMouseKeepsOneTrackerWithTheSecondObserverAndOptions) {
    Events first, second;
    trackMouse(view, MouseTrackOption(), recorder(first));
    MouseTracker* tracker = mouseTracker(view);
    trackMouse(view, MouseTrackOption::exitOnMouseDown(), recorder(second));
    settle();
    EXPECT_EQ(trackerCount(), 1);
    EXPECT_EQ(mouseTracker(view), tracker);
    EXPECT_EQ(tracker->option(), MouseTrackOption::exitOnMouseDown());
    EXPECT_EQ(tracker->geometry(), view->rect());

    first.clear();
    second.clear();
    enter(view);
    leave(view);
    EXPECT_TRUE(first.empty());
    EXPECT_EQ(second, (Events{MouseMoveEvent::entered, MouseMoveEvent::exited}));
    EXPECT_EQ(tracker->event(), MouseMoveEvent::exited);
}

TEST_F(MouseTrackerTest, TrackerLeavesTheViewsSubviewsClickable) {
    trackMouse(view, MouseTrackOption(), nullptr);
    settle();
    // The tracker lies on top but takes no clicks.
    EXPECT_EQ(window.childAt(view->mapTo(&window, QPoint(20, 15))), button);
}

TEST_F(MouseTrackerTest, InstallingReportsTheCurrentStateAndEveryReinstallationAgain) {
    QCursor::setPos(view->mapToGlobal(QPoint(100, 50)));
    settle();
    Events events;
    trackMouse(view, MouseTrackOption(), recorder(events));
    ASSERT_TRUE(test::runMainUntil([&] { return !events.empty(); }));
    settle();
    EXPECT_EQ(events, (Events{MouseMoveEvent::entered}));

    // A new size installs the tracking again: the same state is told again.
    view->resize(220, 110);
    ASSERT_TRUE(test::runMainUntil([&] { return events.size() == 2; }));
    EXPECT_EQ(events.back(), MouseMoveEvent::entered);
    EXPECT_EQ(mouseTracker(view)->geometry(), view->rect());

    // The mouse goes away; the next installation tells it has left.
    QCursor::setPos(window.mapToGlobal(QPoint(390, 290)));
    settle();
    const std::size_t before = events.size();
    view->resize(200, 100);
    ASSERT_TRUE(test::runMainUntil([&] { return events.size() == before + 1; }));
    EXPECT_EQ(events.back(), MouseMoveEvent::exited);
}

TEST_F(MouseTrackerTest, ExitOnMouseDownReportsAClickAsExitedOnce) {
    struct Case {
        MouseTrackOption option;
        Events expected;
    };
    const Case cases[] = {
        {MouseTrackOption::exitOnMouseDown(), {MouseMoveEvent::exited}},
        {MouseTrackOption{MouseTrackOption(2), MouseTrackOption::exitOnMouseDown()},
         {MouseMoveEvent::exited}},
        {MouseTrackOption(), {}},
        {MouseTrackOption(2), {}},
    };
    for (const Case& c : cases) {
        Events events;
        trackMouse(view, c.option, recorder(events));
        settle();
        events.clear();
        test::clickAt(&window, view->mapTo(&window, QPoint(150, 70)));
        EXPECT_EQ(events, c.expected) << "options " << c.option.rawValue;
    }
}

TEST_F(MouseTrackerTest, BackgroundHoverShowsOverTheWholeViewAndClearsOnLeave) {
    const Color hover = Color::rgb(0.2, 0.6, 0.9, 0.5);
    addHoverEffects(view, {HoverEffect::background(hover)});
    settle();
    // The mouse is away: installing told "exited", which made the layer, clear.
    LayerBackedView* layer = hoverBackgroundLayer(view);
    ASSERT_NE(layer, nullptr);
    EXPECT_EQ(layer->layerBackgroundColor(), Color::clear());

    enter(view);
    EXPECT_EQ(hoverBackgroundLayer(view), layer);
    EXPECT_EQ(layer->geometry(), view->rect());
    EXPECT_EQ(layer->layerBackgroundColor(), hover);
    EXPECT_TRUE(layer->isVisible());
    // Laid over the view's subviews without taking their clicks.
    EXPECT_EQ(window.childAt(view->mapTo(&window, QPoint(20, 15))), button);

    leave(view);
    EXPECT_EQ(hoverBackgroundLayer(view), layer);  // kept
    EXPECT_EQ(layer->layerBackgroundColor(), Color::clear());
}

TEST_F(MouseTrackerTest, CornerRadiusActsOnlyOnceTheHoverBackgroundExists) {
    const Color hover = Color::rgb(1, 0, 0);
    struct Case {
        std::vector<HoverEffect> effects;
        double radiusOnFirstHover;
    };
    const Case cases[] = {
        {{HoverEffect::cornerRadius(6), HoverEffect::background(hover)}, 0},
        {{HoverEffect::background(hover), HoverEffect::cornerRadius(6)}, 6},
    };
    for (const Case& c : cases) {
        delete hoverBackgroundLayer(view);
        addHoverEffects(view, c.effects);
        enter(view);
        ASSERT_NE(hoverBackgroundLayer(view), nullptr);
        EXPECT_EQ(hoverBackgroundLayer(view)->cornerRadius(), c.radiusOnFirstHover);
        leave(view);
        EXPECT_EQ(hoverBackgroundLayer(view)->cornerRadius(), 0);
        enter(view);
        EXPECT_EQ(hoverBackgroundLayer(view)->cornerRadius(), 6);  // from the second hover on
        leave(view);
    }
}

TEST_F(MouseTrackerTest, HoverEffectsAndTrackMouseReplaceEachOther) {
    Events events;
    trackMouse(view, MouseTrackOption(), recorder(events));
    addHoverEffects(view, {HoverEffect::background(Color::rgb(0, 1, 0))});
    enter(view);
    EXPECT_TRUE(events.empty());
    EXPECT_NE(hoverBackgroundLayer(view), nullptr);
    leave(view);

    trackMouse(view, MouseTrackOption(), recorder(events));
    enter(view);
    EXPECT_EQ(events, (Events{MouseMoveEvent::entered}));
    EXPECT_EQ(hoverBackgroundLayer(view)->layerBackgroundColor(), Color::clear());
    EXPECT_EQ(trackerCount(), 1);
}

TEST(MouseTrackOptionTest, SetOperations) {
    const MouseTrackOption a(0b011), b(0b110);
    EXPECT_EQ(a.unionWith(b).rawValue, 0b111u);
    EXPECT_EQ(a.intersection(b).rawValue, 0b010u);
    EXPECT_EQ(a.subtracting(b).rawValue, 0b001u);
    EXPECT_TRUE(a.contains(MouseTrackOption::exitOnMouseDown()));
    EXPECT_FALSE(b.contains(MouseTrackOption::exitOnMouseDown()));
    EXPECT_EQ((MouseTrackOption{a, b}).rawValue, 0b111u);
    EXPECT_TRUE(MouseTrackOption().isEmpty());
    EXPECT_EQ(static_cast<int>(MouseMoveEvent::exited), 0);
    EXPECT_EQ(static_cast<int>(MouseMoveEvent::entered), 1);
}

}  // namespace
}  // namespace pex
