// A request handler made of a generic handler and the data of one identifier, so that a module's
// request table names the pair instead of a one-line wrapper function:
//
//   {"/6015", bound_handler<plan_read, &zvdb::kVideoLossAudibleScheduleTable, kMaxChannels>},
//
// runs plan_read(argument, &zvdb::kVideoLossAudibleScheduleTable, kMaxChannels). The data are
// template arguments: constants, or addresses and references of objects with linkage.
#pragma once

template <auto Generic, auto... Data>
void bound_handler(const char* argument) {
  Generic(argument, Data...);
}
