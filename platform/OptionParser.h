#pragma once

// One parser for the options of every program (the viewer, hvk32-cli's commands and
// hvk32-sim): "--name VALUE" or "--name=VALUE", switches without a value, "--help"/"-h",
// numbers checked against their range, and arguments without a dash where a program takes
// them. Each program keeps its own wording of the errors; the parser decides when to use it.

#include <functional>
#include <string>
#include <vector>

namespace hvk32::platform {

// How a tool words the ways an argument can be wrong. Each prints the whole message.
struct OptionMessages {
    std::function<void(const std::string& option)> missingValue;
    std::function<void(const std::string& option, const std::string& value)> badValue;
    std::function<void(const std::string& argument)> unknown;
    // A refused value of an option that words its own complaint.
    std::function<void(const std::string& complaint)> refused;
};

// The wording of hvk32-cli's commands: "hvk32-cli export: --frames needs a value",
// "... bad value '0' for --frames", "... unknown option '--x'" followed by the usage.
OptionMessages commandMessages(const std::string& command, const char* usage);

class OptionParser {
public:
    enum class Result { Run, Help, Error };

    // Takes a value: false when the value is refused.
    using Take = std::function<bool(const std::string& value)>;
    // The message for a refused value of one option, instead of the tool's common wording.
    using Complaint = std::function<std::string(const std::string& value)>;

    explicit OptionParser(OptionMessages messages) : messages_(std::move(messages)) {}

    // A switch without a value.
    OptionParser& flag(const std::string& name, bool& target);
    OptionParser& flag(const std::string& name, std::function<void()> set);
    // An option with a value. A refused value is reported through badValue, or with the
    // option's own complaint through refused.
    OptionParser& value(const std::string& name, Take take, Complaint complaint = nullptr);
    // An option taking any text, stored as it stands.
    OptionParser& text(const std::string& name, std::string& target);
    // Arguments that do not start with "-" (a file name); a refused one is reported as unknown.
    OptionParser& positional(Take take);
    // Values only as the next argument: "--name=VALUE" is one unknown argument.
    OptionParser& valuesApart();
    // A decimal integer in low..high.
    OptionParser& integer(const std::string& name, long low, long high, long& target);
    OptionParser& integer(const std::string& name, int low, int high, int& target);

    // Reads argv[first..argc): Help at the first "--help" or "-h", Error (reported) at the
    // first wrong argument, else Run.
    Result parse(int argc, char** argv, int first = 1) const;

    // parse() the way a command of hvk32-cli takes it: 0 to run; kHelpShown after "--help",
    // with `usage` printed on standard output; 2 after a wrong argument (reported).
    static constexpr int kHelpShown = 1;
    int parseCommand(int argc, char** argv, const char* usage) const;

private:
    struct Option {
        std::string name;
        bool takesValue = false;
        std::function<void()> set;
        Take take;
        Complaint complaint;
    };

    const Option* find(const std::string& name) const;

    OptionMessages messages_;
    std::vector<Option> options_;
    Take positional_;
    bool inlineValues_ = true;
};

// The complaint for a value of `option` that is not a multicast group: "--multicast takes a
// multicast group, 224.0.0.0 to 239.255.255.255, not '300.1.1.1'".
OptionParser::Complaint multicastComplaint(const std::string& option);

// A whole decimal integer in low..high ("12", not "12x", "" or "1e3").
bool parseInteger(const std::string& text, long low, long high, long& out);
bool parseInteger(const std::string& text, int low, int high, int& out);
// A whole finite decimal number ("12.5", not "nan", "inf" or "12 deg").
bool parseFiniteNumber(const std::string& text, double& out);

} // namespace hvk32::platform
