#include "sim/ClockText.h"

#include <cctype>

namespace hvk32::sim {

namespace {

constexpr int kFirstYear = 2000; // the device's year byte counts from here
constexpr int kLastYear = 2255;

// `digits` decimal digits at `pos`, moving past them.
bool number(const std::string& text, std::size_t& pos, std::size_t digits, int& out)
{
    if (pos + digits > text.size())
        return false;
    out = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        const char c = text[pos + i];
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
        out = out * 10 + (c - '0');
    }
    pos += digits;
    return true;
}

bool expect(const std::string& text, std::size_t& pos, char c)
{
    if (pos >= text.size() || text[pos] != c)
        return false;
    ++pos;
    return true;
}

int daysInMonth(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

} // namespace

bool parseClockText(const std::string& text, ClockTime& out)
{
    ClockTime t;
    std::size_t pos = 0;
    if (!number(text, pos, 4, t.year) || !expect(text, pos, '-') || !number(text, pos, 2, t.month)
        || !expect(text, pos, '-') || !number(text, pos, 2, t.day))
        return false;
    t.hour = t.minute = t.second = 0;
    if (pos < text.size() && (text[pos] == 'T' || text[pos] == ' ')) {
        ++pos;
        if (!number(text, pos, 2, t.hour) || !expect(text, pos, ':') || !number(text, pos, 2, t.minute))
            return false;
        if (pos < text.size() && text[pos] == ':' && !(++pos && number(text, pos, 2, t.second)))
            return false;
    }
    if (pos < text.size() && text[pos] == 'Z')
        ++pos;
    if (pos != text.size())
        return false;
    if (t.year < kFirstYear || t.year > kLastYear || t.month < 1 || t.month > 12 || t.day < 1
        || t.day > daysInMonth(t.year, t.month) || t.hour > 23 || t.minute > 59 || t.second > 59)
        return false;
    out = t;
    return true;
}

} // namespace hvk32::sim
