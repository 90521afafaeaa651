#include "platform/appkit/SavePanel.h"

#include <mutex>

#include "platform/appkit/QtSavePanel.h"

namespace pex {

namespace {
SavePanel::Factory& installedFactory() {
    static SavePanel::Factory factory;
    return factory;
}
}  // namespace

std::unique_ptr<SavePanel> SavePanel::make() {
    if (installedFactory()) return installedFactory()();
    return std::make_unique<QtSavePanel>();
}

void SavePanel::setFactoryForTesting(Factory factory) {
    installedFactory() = std::move(factory);
}

}  // namespace pex
