#include "handlers/network/network_module.h"

#include <iterator>

namespace {
const WebReqEntry kNetworkRequests[] = {
    {"/7000", time_read_handler},
    {"/7001", time_set_handler},
};
}  // namespace

const RequestModule kNetworkModule = {"network", kNetworkRequests,
                                      static_cast<int>(std::size(kNetworkRequests))};
