#pragma once
// The real save dialogue: a window-modal file dialogue opened without a nested event loop,
// deleted once answered.
#include "platform/appkit/SavePanel.h"

namespace pex {

class QtSavePanel : public SavePanel {
  public:
    void begin(Completion completion) override;
};

}  // namespace pex
