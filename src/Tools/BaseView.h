#pragma once
// Base of the application's views: every view builds its subviews (setupUI) and then its
// layout (setupConstraints) while it is being created, before the caller sees it.
//
// C++ calls a base constructor's virtual calls on the base, so the set-up runs as a second
// phase in `create`, after the whole object exists. The constructor takes a key that only
// `create` can make, so a subclass cannot be built any other way and never misses its
// set-up:
//
//     class PayQRCodeView : public BaseView {
//     public:
//         PayQRCodeView(Key key, QWidget* parent) : BaseView(key, parent) {}
//     protected:
//         void setupUI() override;
//         void setupConstraints() override;
//     };
//     auto* view = BaseView::create<PayQRCodeView>(parent);
#include <QWidget>
#include <utility>

namespace pex {

class BaseView : public QWidget {
    Q_OBJECT
  public:
    // Builds a View (owned by `parent` when one is passed, as usual in Qt) and runs its
    // set-up: setupUI, then setupConstraints.
    template <class View, class... Args>
    static View* create(Args&&... args) {
        static_assert(std::is_base_of_v<BaseView, View>, "create builds BaseView subclasses");
        View* view = new View(Key{}, std::forward<Args>(args)...);
        static_cast<BaseView*>(view)->runSetup();
        return view;
    }

  protected:
    class Key {
        friend class BaseView;
        Key() = default;
    };

    explicit BaseView(Key key, QWidget* parent = nullptr);

    // The base gives the view a white background.
    virtual void setupUI();
    virtual void setupConstraints();

  private:
    void runSetup();
};

}  // namespace pex
