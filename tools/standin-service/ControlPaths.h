#pragma once
// Paths under "/standin/" through which a test that runs the stand-in as a program steers it and
// reads what it received: the same faults and the same record of requests that in-process tests
// reach through StandinService. Only the program started with "--control" offers them.
//
//   POST   /standin/faults    {"route": "/consume/start", "status": 200, "code": 1005,
//                             "message": "余额不足", "times": 1}
//                             (no "code": {"status": 401} answers as a stale login does)
//   POST   /standin/answer-flood {"piece": "字", "count": 100000}
//                             every later "/ai/meet" streams `count` answer pieces of `piece`,
//                             unpaced
//   DELETE /standin/faults    clears every fault
//   GET    /standin/requests  [{"method", "route", "query", "body", "port"}, ...] in arrival order,
//                             without the control requests themselves
#include "standin-service/StandinService.h"

namespace pex::standin {

void registerControlPaths(StandinService& service);

}  // namespace pex::standin
