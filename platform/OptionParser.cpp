#include "platform/OptionParser.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace hvk32::platform {

OptionMessages commandMessages(const std::string& command, const char* usage)
{
    const std::string prefix = "hvk32-cli " + command + ": ";
    OptionMessages m;
    m.missingValue = [prefix](const std::string& option) {
        std::fprintf(stderr, "%s%s needs a value\n", prefix.c_str(), option.c_str());
    };
    m.badValue = [prefix](const std::string& option, const std::string& value) {
        std::fprintf(stderr, "%sbad value '%s' for %s\n", prefix.c_str(), value.c_str(), option.c_str());
    };
    m.unknown = [prefix, usage](const std::string& argument) {
        std::fprintf(stderr, "%sunknown option '%s'\n%s", prefix.c_str(), argument.c_str(), usage);
    };
    m.refused = [prefix](const std::string& complaint) {
        std::fprintf(stderr, "%s%s\n", prefix.c_str(), complaint.c_str());
    };
    return m;
}

OptionParser& OptionParser::flag(const std::string& name, bool& target)
{
    return flag(name, [&target]() { target = true; });
}

OptionParser& OptionParser::flag(const std::string& name, std::function<void()> set)
{
    Option o;
    o.name = name;
    o.set = std::move(set);
    options_.push_back(std::move(o));
    return *this;
}

OptionParser& OptionParser::positional(Take take)
{
    positional_ = std::move(take);
    return *this;
}

OptionParser& OptionParser::valuesApart()
{
    inlineValues_ = false;
    return *this;
}

OptionParser& OptionParser::value(const std::string& name, Take take, Complaint complaint)
{
    Option o;
    o.name = name;
    o.takesValue = true;
    o.take = std::move(take);
    o.complaint = std::move(complaint);
    options_.push_back(std::move(o));
    return *this;
}

OptionParser& OptionParser::text(const std::string& name, std::string& target)
{
    return value(name, [&target](const std::string& v) {
        target = v;
        return true;
    });
}

OptionParser& OptionParser::integer(const std::string& name, long low, long high, long& target)
{
    return value(name, [low, high, &target](const std::string& v) { return parseInteger(v, low, high, target); });
}

OptionParser& OptionParser::integer(const std::string& name, int low, int high, int& target)
{
    return value(name, [low, high, &target](const std::string& v) { return parseInteger(v, low, high, target); });
}

const OptionParser::Option* OptionParser::find(const std::string& name) const
{
    for (const Option& o : options_)
        if (o.name == name)
            return &o;
    return nullptr;
}

OptionParser::Result OptionParser::parse(int argc, char** argv, int first) const
{
    for (int i = first; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h")
            return Result::Help;
        if (positional_ && (argument.empty() || argument[0] != '-')) {
            if (!positional_(argument)) {
                messages_.unknown(argument);
                return Result::Error;
            }
            continue;
        }
        std::string name = argument;
        std::string value;
        bool inlineValue = false;
        const std::size_t equals = argument.find('=');
        if (inlineValues_ && argument.rfind("--", 0) == 0 && equals != std::string::npos) {
            name = argument.substr(0, equals);
            value = argument.substr(equals + 1);
            inlineValue = true;
        }
        const Option* option = find(name);
        if (!option || (!option->takesValue && inlineValue)) {
            messages_.unknown(name);
            return Result::Error;
        }
        if (!option->takesValue) {
            option->set();
            continue;
        }
        if (!inlineValue) {
            if (i + 1 >= argc) {
                messages_.missingValue(name);
                return Result::Error;
            }
            value = argv[++i];
        }
        if (!option->take(value)) {
            if (option->complaint)
                messages_.refused(option->complaint(value));
            else
                messages_.badValue(name, value);
            return Result::Error;
        }
    }
    return Result::Run;
}

int OptionParser::parseCommand(int argc, char** argv, const char* usage) const
{
    switch (parse(argc, argv)) {
    case Result::Help:
        std::fputs(usage, stdout);
        return kHelpShown;
    case Result::Error:
        return 2;
    case Result::Run:
        break;
    }
    return 0;
}

OptionParser::Complaint multicastComplaint(const std::string& option)
{
    return [option](const std::string& value) {
        return option + " takes a multicast group, 224.0.0.0 to 239.255.255.255, not '" + value + "'";
    };
}

bool parseInteger(const std::string& text, long low, long high, long& out)
{
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || end == text.c_str() || *end != '\0' || v < low || v > high)
        return false;
    out = v;
    return true;
}

bool parseInteger(const std::string& text, int low, int high, int& out)
{
    long n = 0;
    if (!parseInteger(text, static_cast<long>(low), static_cast<long>(high), n))
        return false;
    out = static_cast<int>(n);
    return true;
}

bool parseFiniteNumber(const std::string& text, double& out)
{
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || end == text.c_str() || *end != '\0' || !std::isfinite(v))
        return false;
    out = v;
    return true;
}

} // namespace hvk32::platform
