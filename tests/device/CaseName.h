// Names each parameterised case after its `name` field.
#pragma once

#include <string>

namespace velmora {

struct CaseName {
    template <class Info>
    std::string operator()(const Info& testInfo) const {
        return testInfo.param.name;
    }
};

}  // namespace velmora
