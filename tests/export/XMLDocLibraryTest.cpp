#include "export/XMLDocLibrary.h"

#include "support/ErrorOf.h"

#include <QLocale>

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

using namespace varrow;
using varrow::test::ErrorOf;

namespace {

const QLocale DecimalComma(QLocale::German, QLocale::Germany);
const QLocale DecimalPoint(QLocale::English, QLocale::UnitedStates);

class XMLDocLibrary : public ::testing::Test {
protected:
    void TearDown() override { QLocale::setDefault(QLocale::c()); }

    // The first element of a document parsed from text.
    pugi::xml_node Field(const char* xml) {
        EXPECT_TRUE(doc.load_string(xml)) << xml;
        return doc.document_element();
    }

    pugi::xml_document doc;
};

TEST_F(XMLDocLibrary, FloatTextFollowsTheGeneralNumberLayout) {
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {0.0, "0"},
        {512.0, "512"},
        {0.25, "0.25"},
        {-2.5, "-2.5"},
        {1.0 / 3.0, "0.333333333333333"},
        {0.1 + 0.2, "0.3"},
        {0.00001, "0.00001"},
        {0.0000123, "0.0000123"},
        {0.000001, "1E-6"},
        {-1.5e-7, "-1.5E-7"},
        {123456789012345.0, "123456789012345"},
        {1e15, "1E15"},
        {999999999999999.9, "1E15"},
        {2.5e20, "2.5E20"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FloatToText(c.value).toStdString(), c.text) << c.value;
        // Fifteen digits are kept, not every bit.
        EXPECT_NEAR(TextToFloat(QString::fromLatin1(c.text)), c.value, std::fabs(c.value) * 1e-14)
            << c.text;
    }
}

TEST_F(XMLDocLibrary, DecimalSeparatorFollowsTheSettingOnlyWhenWriting) {
    QLocale::setDefault(DecimalComma);
    pugi::xml_node root = doc.append_child("Root");
    AddFloatElement(root, QStringLiteral("Big"), -1.5e-7);
    AddIntegerElement(root, QStringLiteral("Zone"), -1234567); // never grouped
    EXPECT_STREQ(root.child("Big").child("Float").text().get(), "-1,5E-7");
    EXPECT_STREQ(root.child("Zone").child("Integer").text().get(), "-1234567");
    QLocale::setDefault(DecimalPoint);
    EXPECT_EQ(ReadFloatValue(root.child("Big")), -1.5e-7);
}

TEST_F(XMLDocLibrary, WritersAppendOneTypedChildPerFieldInCallOrder) {
    pugi::xml_node root = doc.append_child("Root");
    AddStringElement(root, QStringLiteral("Name"), QStringLiteral("a < b & \"c\" \u00e9"));
    AddPointElement(root, QStringLiteral("Tile"), TPoint{-3, 35});
    AddStringElement(root, QStringLiteral("Name"), QStringLiteral("second"));
    std::ostringstream out;
    doc.save(out, "", pugi::format_raw | pugi::format_no_declaration);
    EXPECT_EQ(out.str(), "<Root><Name><String>a &lt; b &amp; \"c\" \xc3\xa9</String></Name>"
                         "<Tile><Point>-3,35</Point></Tile>"
                         "<Name><String>second</String></Name></Root>");

    pugi::xml_document back;
    ASSERT_TRUE(back.load_string(out.str().c_str()));
    EXPECT_EQ(ReadStringValue(back.child("Root").child("Name")),
              QStringLiteral("a < b & \"c\" \u00e9"));

    // Control characters would make the file ill-formed for other readers.
    AddStringElement(root, QStringLiteral("Odd"),
                     QStringLiteral("a\x01"
                                    "b\tc"));
    EXPECT_STREQ(root.child("Odd").child("String").text().get(), "ab\tc");
}

TEST_F(XMLDocLibrary, EmptyValuesReadAsNothingAndPointsNeverFail) {
    EXPECT_EQ(ReadStringValue(Field("<Name><String/></Name>")), QString());
    EXPECT_EQ(ReadFloatValue(Field("<Scale><Float></Float></Scale>")), 0.0);
    EXPECT_EQ(ReadIntegerValue(Field("<Zone><Integer/></Zone>")), 0);
    TPoint p{5, 6};
    ReadPointValue(Field("<Tile><Point/></Tile>"), p);
    EXPECT_EQ(p, (TPoint{5, 6}));
    // A field with no type element at all holds no value either.
    ReadPointValue(Field("<Tile/>"), p);
    EXPECT_EQ(p, (TPoint{5, 6}));
    EXPECT_EQ(ReadIntegerValue(Field("<Zone/>")), 0);

    // Point text never fails.
    const struct {
        const char* text;
        TPoint point;
    } cases[] = {
        {"7", {7, 0}},       {"x,y", {0, 0}},
        {",", {0, 0}},       {"3,4,5", {3, 4}},
        {"-8,abc", {-8, 0}}, {"99999999999,2", {0, 2}},
        {"1.5,2", {0, 2}},   {"-2147483648,2147483647", {INT32_MIN, INT32_MAX}},
    };
    for (const auto& c : cases) {
        TPoint read{9, 9};
        const std::string xml = std::string("<Tile><Point>") + c.text + "</Point></Tile>";
        ReadPointValue(Field(xml.c_str()), read);
        EXPECT_EQ(read, c.point) << c.text;
    }
}

TEST_F(XMLDocLibrary, WrongTypesAndBadNumbersRaiseErrors) {
    EXPECT_EQ(ErrorOf([&] { ReadFloatValue(Field("<Scale><float>1</float></Scale>")); }),
              "Expected Float. Found: float");
    EXPECT_EQ(ErrorOf([&] { ReadFloatValue(Field("<Scale><Integer>1</Integer></Scale>")); }),
              "Expected Float. Found: Integer");
    EXPECT_EQ(ErrorOf([&] { ReadIntegerValue(Field("<Zone>13</Zone>")); }),
              "Expected Integer. Found: ");
    EXPECT_EQ(ReadIntegerValue(Field("<Zone xmlns:v='urn:v'><v:Integer>-13</v:Integer></Zone>")),
              -13);

    EXPECT_EQ(ErrorOf([&] { ReadFloatValue(Field("<S><Float>half</Float></S>")); }),
              "'half' is not a valid floating point value");
    EXPECT_EQ(ErrorOf([&] { ReadFloatValue(Field("<S><Float>1,000.5</Float></S>")); }),
              "'1,000.5' is not a valid floating point value");
    EXPECT_EQ(ErrorOf([&] { ReadIntegerValue(Field("<Z><Integer>1.5</Integer></Z>")); }),
              "'1.5' is not a valid integer value");
    EXPECT_EQ(ErrorOf([&] { ReadIntegerValue(Field("<Z><Integer>2147483648</Integer></Z>")); }),
              "'2147483648' is not a valid integer value");
}

} // namespace
