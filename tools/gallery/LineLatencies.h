#pragma once
// Service-line lists in pictures: measured latencies differ from run to run, so a picture waits
// for the list's own test to end and then shows fixed times.
#include "Page/View/NetChannelView.h"

namespace pex::gallery {

// True once the list has its buttons and no line is still being tested.
bool latencyTestEnded(const NetChannelView& view);

// Waits (in real time, see waitFor) for the list's test to end, then gives row n a latency of
// 40 + 90·n ms.
void showFixedLatencies(NetChannelView& view);

}  // namespace pex::gallery
