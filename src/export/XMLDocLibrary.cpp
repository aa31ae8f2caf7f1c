#include "XMLDocLibrary.h"

#include <QLocale>

#include <cmath>
#include <stdexcept>

namespace varrow {

namespace {

constexpr int FloatDigits = 15;

[[noreturn]] void Fail(const QString& message) {
    throw std::runtime_error(message.toStdString());
}

std::string Utf8(const QString& text) {
    return text.toStdString();
}

// Characters that XML 1.0 cannot carry at all (control codes, U+FFFE, U+FFFF)
// would make the whole file ill-formed for any other reader; they are dropped.
QString XmlSafe(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != 0x09 && u != 0x0A && u != 0x0D) || u == 0xFFFE || u == 0xFFFF)
            continue;
        out.append(c);
    }
    return out;
}

pugi::xml_node AppendElement(pugi::xml_node parent, const QString& name) {
    pugi::xml_node child = parent.append_child(Utf8(name).c_str());
    if (!child) Fail(QStringLiteral("Unable to add the element %1").arg(name));
    return child;
}

void SetTypedText(pugi::xml_node element, const char* typeWord, const QString& text) {
    pugi::xml_node typed = AppendElement(element, QString::fromLatin1(typeWord));
    typed.text().set(Utf8(text).c_str());
}

QChar DecimalSeparator() {
    // Files carry ASCII digits and a point or a comma only, so that a reader
    // under any number setting can take them back.
    return QLocale().decimalPoint() == QLatin1String(",") ? QLatin1Char(',') : QLatin1Char('.');
}

} // namespace

QString LocalName(const pugi::xml_node& node) {
    const QString name = QString::fromUtf8(node.name());
    const qsizetype colon = name.indexOf(QLatin1Char(':'));
    return colon < 0 ? name : name.mid(colon + 1);
}

pugi::xml_node AddStringElement(pugi::xml_node parent, const QString& name, const QString& text) {
    pugi::xml_node field = AppendElement(parent, name);
    WriteStringValue(field, text);
    return field;
}

pugi::xml_node AddFloatElement(pugi::xml_node parent, const QString& name, double value) {
    pugi::xml_node field = AppendElement(parent, name);
    WriteFloatValue(field, value);
    return field;
}

pugi::xml_node AddIntegerElement(pugi::xml_node parent, const QString& name, std::int32_t value) {
    pugi::xml_node field = AppendElement(parent, name);
    WriteIntegerValue(field, value);
    return field;
}

pugi::xml_node AddPointElement(pugi::xml_node parent, const QString& name, const TPoint& value) {
    pugi::xml_node field = AppendElement(parent, name);
    WritePointValue(field, value);
    return field;
}

void WriteStringValue(pugi::xml_node element, const QString& text) {
    SetTypedText(element, "String", XmlSafe(text));
}

void WriteFloatValue(pugi::xml_node element, double value) {
    SetTypedText(element, "Float", FloatToText(value));
}

void WriteIntegerValue(pugi::xml_node element, std::int32_t value) {
    SetTypedText(element, "Integer", QString::number(value));
}

void WritePointValue(pugi::xml_node element, const TPoint& value) {
    SetTypedText(element, "Point", PointToText(value));
}

QString PointToText(const TPoint& point) {
    return QString::number(point.X) + QLatin1Char(',') + QString::number(point.Y);
}

QString FloatToText(double value) {
    return FloatToText(value, DecimalSeparator());
}

QString FloatToText(double value, QChar sep) {
    if (std::isnan(value)) return QStringLiteral("NAN");
    if (std::isinf(value)) return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    if (value == 0) return QStringLiteral("0");

    // Round to 15 significant digits first; the layout depends on the rounded
    // exponent, so 9.99999999999999999E14 becomes 1E15 and not a 16-digit integer.
    const QString sci = QString::number(std::fabs(value), 'e', FloatDigits - 1);
    const qsizetype e = sci.indexOf(QLatin1Char('e'));
    QString digits = sci.left(1) + sci.mid(2, e - 2);
    const int exponent = sci.mid(e + 1).toInt();
    while (digits.size() > 1 && digits.endsWith(QLatin1Char('0')))
        digits.chop(1);

    QString out = value < 0 ? QStringLiteral("-") : QString();
    if (exponent < -5 || exponent >= FloatDigits) {
        out += digits.left(1);
        if (digits.size() > 1) out += sep + digits.mid(1);
        return out + QLatin1Char('E') + QString::number(exponent);
    }
    if (exponent < 0)
        return out + QLatin1Char('0') + sep + QString(-exponent - 1, QLatin1Char('0')) + digits;
    const qsizetype whole = exponent + 1;
    if (digits.size() <= whole)
        return out + digits + QString(whole - digits.size(), QLatin1Char('0'));
    return out + digits.left(whole) + sep + digits.mid(whole);
}

double TextToFloat(const QString& text) {
    QString s = text.trimmed();
    s.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double value = QLocale::c().toDouble(s, &ok);
    if (!ok) Fail(QStringLiteral("'%1' is not a valid floating point value").arg(text));
    return value;
}

std::int32_t TextToInteger(const QString& text) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    if (!ok) Fail(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return value;
}

TPoint TextToPoint(const QString& text) {
    const auto part = [](const QString& s) -> std::int32_t {
        bool ok = false;
        const int v = s.trimmed().toInt(&ok, 10);
        return ok ? v : 0;
    };
    const QStringList parts = text.split(QLatin1Char(','));
    TPoint p;
    p.X = part(parts.value(0));
    p.Y = part(parts.value(1));
    return p;
}

bool ReadTypedValue(const pugi::xml_node& field, const char* typeWord, QString& text) {
    text.clear();
    const pugi::xml_node typed = field.first_child();
    // A field without any child is a field without a value.
    if (!typed) return false;
    const QString found = LocalName(typed);
    if (found != QLatin1String(typeWord))
        Fail(QStringLiteral("Expected %1. Found: %2").arg(QLatin1String(typeWord), found));
    text = QString::fromUtf8(typed.text().get());
    return !text.isEmpty();
}

QString ReadStringValue(const pugi::xml_node& field) {
    QString text;
    ReadTypedValue(field, "String", text);
    return text;
}

double ReadFloatValue(const pugi::xml_node& field) {
    QString text;
    return ReadTypedValue(field, "Float", text) ? TextToFloat(text) : 0.0;
}

std::int32_t ReadIntegerValue(const pugi::xml_node& field) {
    QString text;
    return ReadTypedValue(field, "Integer", text) ? TextToInteger(text) : 0;
}

void ReadPointValue(const pugi::xml_node& field, TPoint& point) {
    QString text;
    if (ReadTypedValue(field, "Point", text)) point = TextToPoint(text);
}

} // namespace varrow
