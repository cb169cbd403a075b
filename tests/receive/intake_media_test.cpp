#include "receive/upload_handler.h"

#include <gtest/gtest.h>

using namespace vesker;

TEST(IntakeMedia, LocationHeader)
{
    const QList<std::pair<std::optional<QString>, std::optional<Coordinate>>> rows {{{}, {}},
        {"-90,180", Coordinate {-90, 180}}, {"91,10", {}}, {"10,181", {}}, {"1,2,3", {}}, {"1", {}},
        {"1, 2", {}}, {"abc,2", {}}, {"nan,inf", {}}, {",1,,2,", Coordinate {1, 2}}};
    for (const auto& [header, expected] : rows)
        EXPECT_EQ(UploadHandler::parseLocation(header), expected)
            << header.value_or(QStringLiteral("(none)")).toStdString();
}
