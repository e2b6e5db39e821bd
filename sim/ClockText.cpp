#include "sim/ClockText.h"

#include "acquisition/DeviceInfoPacket.h"

#include <cctype>

namespace hvk32::sim {

namespace {

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
    if (!devinfo::isValidClock(deviceClockOf(t)))
        return false;
    out = t;
    return true;
}

} // namespace hvk32::sim
