#pragma once

// Typed values in an XML element tree. A field element never holds its value
// as bare text: it holds one type element ("String", "Float", "Integer" or
// "Point") whose text is the value, so a reader can tell a value of the wrong
// kind from a bad number.
//
// Every failure is thrown as std::runtime_error; what() is the UTF-8 message
// meant for the user.

#include "tiles/TileLibrary.h"

#include <QString>

#include <pugixml.hpp>

#include <cstdint>

namespace varrow {

// Element name without any "prefix:".
QString LocalName(const pugi::xml_node& node);

// Writers append after the parent's existing children; nothing is replaced or
// merged. The Add... writers return the new field element.
pugi::xml_node AddStringElement(pugi::xml_node parent, const QString& name, const QString& text);
pugi::xml_node AddFloatElement(pugi::xml_node parent, const QString& name, double value);
pugi::xml_node AddIntegerElement(pugi::xml_node parent, const QString& name, std::int32_t value);
pugi::xml_node AddPointElement(pugi::xml_node parent, const QString& name, const TPoint& value);

void WriteStringValue(pugi::xml_node element, const QString& text);
void WriteFloatValue(pugi::xml_node element, double value);
void WriteIntegerValue(pugi::xml_node element, std::int32_t value);
void WritePointValue(pugi::xml_node element, const TPoint& value);

// "X,Y" in decimal, no blanks.
QString PointToText(const TPoint& point);

// Up to 15 significant digits, no trailing zeros, the separator of the user's
// number settings; scientific ("1.5E-7", "2E20") below 0.00001 or from 1E15 up.
QString FloatToText(double value);
// The same with the given separator, for files whose format fixes it (KML: a point).
QString FloatToText(double value, QChar separator);
// Accepts a point or a comma as the separator, whichever the writer used.
// Throws when the text is not a number.
double TextToFloat(const QString& text);
// Decimal with an optional sign; throws when not a 32-bit integer.
std::int32_t TextToInteger(const QString& text);
// Never fails: a part that is not an integer gives 0.
TPoint TextToPoint(const QString& text);

// Readers take the field element. ReadTypedValue throws
// "Expected <type>. Found: <name>" when the type element has another local
// name, and returns false when the value is empty or the field has no child.
bool ReadTypedValue(const pugi::xml_node& field, const char* typeWord, QString& text);
QString ReadStringValue(const pugi::xml_node& field);            // empty when absent
double ReadFloatValue(const pugi::xml_node& field);              // 0 when absent
std::int32_t ReadIntegerValue(const pugi::xml_node& field);      // 0 when absent
void ReadPointValue(const pugi::xml_node& field, TPoint& point); // unchanged when absent

} // namespace varrow
