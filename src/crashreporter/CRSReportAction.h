#pragma once
// What the application decided about the unsent reports of earlier launches, carried through
// the start-up promises as a boxed number.
#include "beacon-core/PRMValue.h"

namespace pex {

enum CRSReportAction : int {
    CRSReportActionSend = 0,
    CRSReportActionDelete = 1,
};

inline PRMValue wrappedReportAction(int action) {
    return PRMValue::box(action);
}

// The action number in `value`; -1 (no known action) when it holds no number.
inline int reportActionValue(const PRMValue& value) {
    if (const int* action = value.as<int>()) return *action;
    return -1;
}

}  // namespace pex
