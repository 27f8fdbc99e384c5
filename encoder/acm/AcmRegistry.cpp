#include <utility>

#include "encoder/acm/AcmCodec.h"
#include "encoder/acm/AcmPcm.h"
#include "encoder/codecs/CodecDrivers.h"

namespace quillon::acm {

namespace {

std::vector<std::unique_ptr<AcmDriver>>& registry()
{
    // Built-in drivers, in the order streams try them and choosers list them.
    static std::vector<std::unique_ptr<AcmDriver>> drivers = [] {
        std::vector<std::unique_ptr<AcmDriver>> list;
        list.push_back(makePcmDriver());
        for (auto& driver : makeCodecDrivers()) {
            list.push_back(std::move(driver));
        }
        return list;
    }();
    return drivers;
}

}  // namespace

const std::vector<std::unique_ptr<AcmDriver>>& acmDrivers()
{
    return registry();
}

void acmRegisterDriver(std::unique_ptr<AcmDriver> driver)
{
    if (driver) {
        registry().push_back(std::move(driver));
    }
}

}  // namespace quillon::acm
