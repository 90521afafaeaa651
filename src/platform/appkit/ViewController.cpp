#include "platform/appkit/ViewController.h"

#include "platform/foundation/MainQueue.h"

namespace pex {

ViewController::ViewController(QObject* parent) : QObject(parent) {}

ViewController::~ViewController() {
    if (view_ && !view_->parent()) delete view_.data();
}

QWidget* ViewController::view() {
    assertMainThread("ViewController::view");
    if (!view_ && !loading_) {
        // A viewDidLoad that reads `view` gets the view being loaded, not a second one.
        loading_ = true;
        loadView();
        if (!view_) setView(new QWidget);
        viewDidLoad();
        loading_ = false;
    }
    return view_.data();
}

void ViewController::loadView() {
    setView(new QWidget);
}

void ViewController::viewDidLoad() {}

void ViewController::setView(QWidget* view) {
    if (view_ == view) return;
    if (view_ && !view_->parent()) delete view_.data();
    view_ = view;
}

}  // namespace pex
