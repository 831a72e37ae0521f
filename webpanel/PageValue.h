// The arguments of a page message: each one a bool, an int, a double, a text,
// a nested list, or invalid (anything else the page sent).
#pragma once

#include "KqVariant.h"

#include <string>
#include <vector>

class PageValue;
typedef std::vector<PageValue> PageValueList;

class PageValue {
public:
    PageValue() = default;  // invalid
    explicit PageValue(const KqVariant& scalar) : m_scalar(scalar) {}
    static PageValue fromList(const PageValueList& items);

    bool isValid() const { return m_isList || !m_scalar.isNull(); }
    bool isList() const { return m_isList; }
    // The scalar (a null variant for lists and invalid values).
    const KqVariant& scalar() const { return m_scalar; }
    const PageValueList& list() const { return m_list; }

    bool isBool() const { return !m_isList && m_scalar.kind() == KqVariant::Bool && !m_scalar.isNull(); }
    bool isInt() const { return !m_isList && m_scalar.kind() == KqVariant::Int && !m_scalar.isNull(); }
    bool isDouble() const { return !m_isList && m_scalar.kind() == KqVariant::Double && !m_scalar.isNull(); }
    bool isText() const { return !m_isList && m_scalar.kind() == KqVariant::String && !m_scalar.isNull(); }

private:
    KqVariant m_scalar;
    PageValueList m_list;
    bool m_isList = false;
};

// Converts a JSON array into page values: true/false a bool, a whole number
// in 32 bits an int (other whole numbers and fractions a double), a string a
// text, an array a nested list; objects, null and anything else invalid.
// False (and an empty list) when the text is not a JSON array.
bool PageValuesFromJson(const std::string& jsonArray, PageValueList& values);
