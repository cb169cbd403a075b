#pragma once

#include <QList>
#include <QString>

#include <array>
#include <optional>
#include <utility>

namespace vesker::platform {

// An enumeration's cases with the raw strings stored and sent for them, as a constexpr table:
// {{Kind::photo, "photo"}, ...}. The lookups below are the one place both directions live.
template <typename Enum, std::size_t N>
using EnumTable = std::array<std::pair<Enum, const char*>, N>;

template <typename Enum, std::size_t N> QString rawOf(const EnumTable<Enum, N>& table, Enum value)
{
    for (const auto& [e, raw] : table) {
        if (e == value)
            return QString::fromUtf8(raw);
    }
    return {};
}

// Exact, case-sensitive.
template <typename Enum, std::size_t N>
std::optional<Enum> caseOf(const EnumTable<Enum, N>& table, const QString& raw)
{
    for (const auto& [e, text] : table) {
        if (raw == QString::fromUtf8(text))
            return e;
    }
    return std::nullopt;
}

template <typename Enum, std::size_t N> QList<Enum> casesOf(const EnumTable<Enum, N>& table)
{
    QList<Enum> list;
    for (const auto& entry : table)
        list.append(entry.first);
    return list;
}

} // namespace vesker::platform
