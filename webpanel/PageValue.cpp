#include "PageValue.h"

#include "PanelText.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <limits>

PageValue PageValue::fromList(const PageValueList& items)
{
    PageValue value;
    value.m_isList = true;
    value.m_list = items;
    return value;
}

namespace {

PageValue convert(const nlohmann::json& item)
{
    using Type = nlohmann::json::value_t;
    switch (item.type()) {
    case Type::boolean:
        return PageValue(KqVariant(item.get<bool>()));
    case Type::number_integer: {
        int64_t n = item.get<int64_t>();
        if (n >= std::numeric_limits<int32_t>::min() && n <= std::numeric_limits<int32_t>::max())
            return PageValue(KqVariant(static_cast<int32_t>(n)));
        return PageValue(KqVariant(static_cast<double>(n)));
    }
    case Type::number_unsigned: {
        uint64_t n = item.get<uint64_t>();
        if (n <= static_cast<uint64_t>(std::numeric_limits<int32_t>::max()))
            return PageValue(KqVariant(static_cast<int32_t>(n)));
        return PageValue(KqVariant(static_cast<double>(n)));
    }
    case Type::number_float:
        return PageValue(KqVariant(item.get<double>()));
    case Type::string:
        return PageValue(KqVariant::fromString(fromUtf8(item.get<std::string>())));
    case Type::array: {
        PageValueList nested;
        for (const nlohmann::json& element : item)
            nested.push_back(convert(element));
        return PageValue::fromList(nested);
    }
    default:
        return PageValue();
    }
}

}  // namespace

bool PageValuesFromJson(const std::string& jsonArray, PageValueList& values)
{
    values.clear();
    nlohmann::json parsed = nlohmann::json::parse(jsonArray, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_array())
        return false;
    for (const nlohmann::json& element : parsed)
        values.push_back(convert(element));
    return true;
}
