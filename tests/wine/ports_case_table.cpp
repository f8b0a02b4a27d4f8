#include "ports_cases.h"

namespace wine_test {

const std::vector<TestCase>& PortsCases()
{
    static const std::vector<TestCase> cases = {
        {"mapped_port_exchanges_data", MappedPortExchangesData},
        {"mapping_refusals", MappingRefusals},
    };
    return cases;
}

} // namespace wine_test
