// The package's udev rule, read the way udev reads rules files. The machines the package is for run udev 252,
// whose udevadm cannot check a rules file, so the syntax and the operators each key takes are checked here.

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct TPair {
    std::string Key;
    std::string Attr;  // the part in braces, as in ATTRS{idVendor}
    std::string Op;
    std::string Value;
};

struct TRule {
    int Line = 0;
    std::vector<TPair> Pairs;
};

struct TRulesFile {
    std::vector<TRule> Rules;
    std::vector<std::string> Errors;  // "line N: what"
};

enum class TBraces { None, Required, Optional };

struct TKey {
    std::string_view Name;
    TBraces Braces;
    std::vector<std::string_view> Ops;
};

// The keys of udev(7), each with the operators udev(7) gives for it (forms udev only warns about are refused).
const std::vector<TKey>& Keys() {
    static const std::vector<TKey> keys = {
        {"ACTION", TBraces::None, {"==", "!="}},
        {"DEVPATH", TBraces::None, {"==", "!="}},
        {"KERNEL", TBraces::None, {"==", "!="}},
        {"KERNELS", TBraces::None, {"==", "!="}},
        {"SUBSYSTEM", TBraces::None, {"==", "!="}},
        {"SUBSYSTEMS", TBraces::None, {"==", "!="}},
        {"DRIVER", TBraces::None, {"==", "!="}},
        {"DRIVERS", TBraces::None, {"==", "!="}},
        {"ATTRS", TBraces::Required, {"==", "!="}},
        {"TAGS", TBraces::None, {"==", "!="}},
        {"CONST", TBraces::Required, {"==", "!="}},
        {"TEST", TBraces::Optional, {"==", "!="}},
        {"PROGRAM", TBraces::None, {"==", "!="}},
        {"RESULT", TBraces::None, {"==", "!="}},
        {"NAME", TBraces::None, {"==", "!=", "=", ":="}},
        {"SYMLINK", TBraces::None, {"==", "!=", "=", "+=", "-=", ":="}},
        {"ATTR", TBraces::Required, {"==", "!=", "="}},
        {"SYSCTL", TBraces::Required, {"==", "!=", "="}},
        {"ENV", TBraces::Required, {"==", "!=", "=", "+="}},
        {"TAG", TBraces::None, {"==", "!=", "=", "+=", "-="}},
        {"IMPORT", TBraces::Required, {"==", "!=", "="}},
        {"OWNER", TBraces::None, {"=", ":="}},
        {"GROUP", TBraces::None, {"=", ":="}},
        {"MODE", TBraces::None, {"=", ":="}},
        {"SECLABEL", TBraces::Required, {"=", "+="}},
        {"RUN", TBraces::Optional, {"=", "+=", ":="}},
        {"OPTIONS", TBraces::None, {"=", "+="}},
        {"LABEL", TBraces::None, {"="}},
        {"GOTO", TBraces::None, {"="}},
    };
    return keys;
}

// Longest first, so that "==" is not read as "=".
constexpr std::string_view kOperators[] = {"==", "!=", "+=", "-=", ":=", "="};

bool IsMatch(const TPair& pair) {
    return pair.Op == "==" || pair.Op == "!=";
}

// Checks one pair against the key table; empty when udev takes it.
std::string CheckPair(const TPair& pair) {
    const auto& keys = Keys();
    const auto key = std::find_if(keys.begin(), keys.end(), [&](const TKey& k) { return k.Name == pair.Key; });
    if (key == keys.end()) {
        return "unknown key " + pair.Key;
    }
    if (key->Braces == TBraces::Required && pair.Attr.empty()) {
        return pair.Key + " needs {attribute}";
    }
    if (key->Braces == TBraces::None && !pair.Attr.empty()) {
        return pair.Key + " takes no {attribute}";
    }
    if (std::find(key->Ops.begin(), key->Ops.end(), pair.Op) == key->Ops.end()) {
        return pair.Key + " does not take the operator " + pair.Op;
    }
    return {};
}

// Reads one rule line (continuations already joined) into `rule`; empty when well formed.
std::string ParseRuleLine(std::string_view line, TRule& rule) {
    std::size_t at = 0;
    const auto skipSpaces = [&] {
        while (at < line.size() && std::isspace(static_cast<unsigned char>(line[at])) != 0) {
            ++at;
        }
    };
    while (true) {
        skipSpaces();
        TPair pair;
        while (at < line.size() && (std::isupper(static_cast<unsigned char>(line[at])) != 0 || line[at] == '_')) {
            pair.Key += line[at++];
        }
        if (pair.Key.empty()) {
            return "a key expected at column " + std::to_string(at + 1);
        }
        if (at < line.size() && line[at] == '{') {
            const std::size_t close = line.find('}', at);
            if (close == std::string_view::npos || close == at + 1) {
                return "unterminated or empty {attribute} of " + pair.Key;
            }
            pair.Attr = std::string(line.substr(at + 1, close - at - 1));
            at = close + 1;
        }
        skipSpaces();
        for (const std::string_view op : kOperators) {
            if (line.substr(at, op.size()) == op) {
                pair.Op = std::string(op);
                at += op.size();
                break;
            }
        }
        if (pair.Op.empty()) {
            return "an operator expected after " + pair.Key;
        }
        skipSpaces();
        if (at >= line.size() || line[at] != '"') {
            return "the value of " + pair.Key + " must be in double quotes";
        }
        const std::size_t close = line.find('"', at + 1);
        if (close == std::string_view::npos) {
            return "unterminated value of " + pair.Key;
        }
        pair.Value = std::string(line.substr(at + 1, close - at - 1));
        at = close + 1;
        if (std::string error = CheckPair(pair); !error.empty()) {
            return error;
        }
        rule.Pairs.push_back(std::move(pair));
        skipSpaces();
        if (at >= line.size()) {
            return {};
        }
        if (line[at] != ',') {
            return "a comma expected after the value of " + rule.Pairs.back().Key;
        }
        ++at;
    }
}

TRulesFile ParseRules(const std::string& text) {
    TRulesFile file;
    std::istringstream in(text);
    std::string physical;
    std::string logical;
    int lineNo = 0;
    int startLine = 0;
    while (std::getline(in, physical)) {
        ++lineNo;
        if (logical.empty()) {
            startLine = lineNo;
        }
        // A backslash at the end of a line continues the rule on the next one.
        if (!physical.empty() && physical.back() == '\\') {
            physical.pop_back();
            logical += physical;
            continue;
        }
        logical += physical;
        const std::size_t first = logical.find_first_not_of(" \t");
        if (first != std::string::npos && logical[first] != '#') {
            TRule rule;
            rule.Line = startLine;
            if (std::string error = ParseRuleLine(logical, rule); !error.empty()) {
                file.Errors.push_back("line " + std::to_string(startLine) + ": " + error);
            } else {
                file.Rules.push_back(std::move(rule));
            }
        }
        logical.clear();
    }
    if (!logical.empty()) {
        file.Errors.push_back("line " + std::to_string(startLine) + ": continued past the end of the file");
    }
    return file;
}

bool Has(const TRule& rule, std::string_view key, std::string_view attr, std::string_view op, std::string_view value) {
    return std::any_of(rule.Pairs.begin(), rule.Pairs.end(), [&](const TPair& p) {
        return p.Key == key && p.Attr == attr && p.Op == op && p.Value == value;
    });
}

// The rule matches the instrument's tty by the USB id of a parent device and nothing else, gives the user at
// the seat access and keeps ModemManager off the port.
bool OpensInstrumentToSeatUser(const TRule& rule) {
    const auto matches = std::count_if(rule.Pairs.begin(), rule.Pairs.end(), IsMatch);
    return matches == 3 && Has(rule, "SUBSYSTEM", "", "==", "tty") && Has(rule, "ATTRS", "idVendor", "==", "0483") &&
           Has(rule, "ATTRS", "idProduct", "==", "5740") && Has(rule, "TAG", "", "+=", "uaccess") &&
           Has(rule, "ENV", "ID_MM_DEVICE_IGNORE", "=", "1");
}

std::string ReadFile(const char* path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string all;
    for (const auto& line : lines) {
        all += line + "\n";
    }
    return all;
}

TEST(UdevRule, ShippedRule_IsWellFormedAndOpensTheInstrumentToTheSeatUser) {
    const std::string text = ReadFile(TAVREL_UDEV_RULE);
    ASSERT_FALSE(text.empty()) << TAVREL_UDEV_RULE;
    const TRulesFile file = ParseRules(text);
    EXPECT_TRUE(file.Errors.empty()) << Joined(file.Errors);
    ASSERT_EQ(file.Rules.size(), 1U);
    EXPECT_TRUE(OpensInstrumentToSeatUser(file.Rules.front()));
}

// systemd's 73-seat-late.rules turns the uaccess tag into an access list; tags set by later files are not seen.
TEST(UdevRule, ShippedRule_SortsBeforeSeatLate) {
    const std::string name = std::filesystem::path(TAVREL_UDEV_RULE).filename().string();
    EXPECT_LT(name, "73-seat-late.rules");
    EXPECT_TRUE(name.ends_with(".rules")) << name;
}

struct TSyntaxCase {
    const char* Name;
    const char* Text;
    bool Ok;
};

void PrintTo(const TSyntaxCase& c, std::ostream* os) {
    *os << c.Name;
}

class UdevRuleSyntax : public ::testing::TestWithParam<TSyntaxCase> {};

TEST_P(UdevRuleSyntax, TakesOnlyWhatUdevTakes) {
    const TSyntaxCase& c = GetParam();
    const TRulesFile file = ParseRules(c.Text);
    EXPECT_EQ(file.Errors.empty(), c.Ok) << Joined(file.Errors);
}

INSTANTIATE_TEST_SUITE_P(
    Table, UdevRuleSyntax,
    ::testing::Values(
        TSyntaxCase{"CommentsAndBlankLines", "# a comment\n\n   # indented\n", true},
        TSyntaxCase{"SpacesAroundOperators", "SUBSYSTEM == \"tty\" ,TAG += \"uaccess\"\n", true},
        TSyntaxCase{"ContinuedLine", "SUBSYSTEM==\"tty\", \\\n  TAG+=\"uaccess\"\n", true},
        TSyntaxCase{"OptionalBraces", "RUN{builtin}+=\"uaccess\", TEST==\"/dev\", RUN+=\"/bin/true\"\n", true},
        TSyntaxCase{"LabelsAndGoto", "ACTION!=\"add\", GOTO=\"end\"\nLABEL=\"end\"\n", true},
        TSyntaxCase{"AssignToMatchOnlyKey", "SUBSYSTEM=\"tty\"\n", false},
        TSyntaxCase{"AssignToParentAttribute", "ATTRS{idVendor}=\"0483\"\n", false},
        TSyntaxCase{"AddToMode", "MODE+=\"0660\"\n", false}, TSyntaxCase{"UnquotedValue", "TAG+=uaccess\n", false},
        TSyntaxCase{"UnterminatedValue", "ENV{ID_MM_DEVICE_IGNORE}=\"1\n", false},
        TSyntaxCase{"MissingAttribute", "ATTRS==\"0483\"\n", false},
        TSyntaxCase{"AttributeWhereNoneIsTaken", "SUBSYSTEMS{usb}==\"usb\"\n", false},
        TSyntaxCase{"UnknownKey", "IDVENDOR==\"0483\"\n", false},
        TSyntaxCase{"LowerCaseKey", "subsystem==\"tty\"\n", false},
        // Stricter than udev, which passes over stray commas: one comma between pairs, none after the last.
        TSyntaxCase{"MissingComma", "SUBSYSTEM==\"tty\" TAG+=\"uaccess\"\n", false},
        TSyntaxCase{"TrailingComma", "SUBSYSTEM==\"tty\",\n", false},
        TSyntaxCase{"UnknownOperator", "TAG=+\"uaccess\"\n", false},
        TSyntaxCase{"ContinuedPastTheEnd", "SUBSYSTEM==\"tty\", \\", false}),
    [](const ::testing::TestParamInfo<TSyntaxCase>& param) { return std::string(param.param.Name); });

class UdevRuleInstrument : public ::testing::TestWithParam<TSyntaxCase> {};

TEST_P(UdevRuleInstrument, OnlyTheWholeRuleOpensTheInstrument) {
    const TSyntaxCase& c = GetParam();
    const TRulesFile file = ParseRules(c.Text);
    ASSERT_TRUE(file.Errors.empty()) << Joined(file.Errors);
    EXPECT_EQ(std::any_of(file.Rules.begin(), file.Rules.end(), OpensInstrumentToSeatUser), c.Ok);
}

#define TAVREL_RULE_TAIL ", TAG+=\"uaccess\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"\n"

INSTANTIATE_TEST_SUITE_P(
    Table, UdevRuleInstrument,
    ::testing::Values(
        TSyntaxCase{"Whole",
                    "SUBSYSTEM==\"tty\", ATTRS{idVendor}==\"0483\", ATTRS{idProduct}==\"5740\"" TAVREL_RULE_TAIL, true},
        // idVendor lives on the USB device, a parent of the tty: ATTR never matches.
        TSyntaxCase{"OwnAttributeInsteadOfParent",
                    "SUBSYSTEM==\"tty\", ATTR{idVendor}==\"0483\", ATTRS{idProduct}==\"5740\"" TAVREL_RULE_TAIL, false},
        TSyntaxCase{"OtherProduct",
                    "SUBSYSTEM==\"tty\", ATTRS{idVendor}==\"0483\", ATTRS{idProduct}==\"5741\"" TAVREL_RULE_TAIL,
                    false},
        TSyntaxCase{"UsbDeviceNotItsTty",
                    "SUBSYSTEM==\"usb\", ATTRS{idVendor}==\"0483\", ATTRS{idProduct}==\"5740\"" TAVREL_RULE_TAIL,
                    false},
        TSyntaxCase{"OnlyOnRemoval",
                    "ACTION==\"remove\", SUBSYSTEM==\"tty\", ATTRS{idVendor}==\"0483\", "
                    "ATTRS{idProduct}==\"5740\"" TAVREL_RULE_TAIL,
                    false},
        TSyntaxCase{"SplitOverTwoRules",
                    "SUBSYSTEM==\"tty\", ATTRS{idVendor}==\"0483\", TAG+=\"uaccess\"\n"
                    "SUBSYSTEM==\"tty\", ATTRS{idProduct}==\"5740\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"\n",
                    false},
        // "=" would drop the tags other rules set (systemd's among them).
        TSyntaxCase{"TagsReplaced",
                    "SUBSYSTEM==\"tty\", ATTRS{idVendor}==\"0483\", ATTRS{idProduct}==\"5740\", TAG=\"uaccess\", "
                    "ENV{ID_MM_DEVICE_IGNORE}=\"1\"\n",
                    false},
        TSyntaxCase{"ModemManagerStillProbes",
                    "SUBSYSTEM==\"tty\", ATTRS{idVendor}==\"0483\", ATTRS{idProduct}==\"5740\", TAG+=\"uaccess\"\n",
                    false}),
    [](const ::testing::TestParamInfo<TSyntaxCase>& param) { return std::string(param.param.Name); });

}  // namespace
