#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "foundation/Foundation.h"
#include "sim/FileValue.h"
#include "sim/ScenarioParser.h"

namespace {

std::vector<std::string> texts(const std::string& line) {
    std::vector<std::string> out;
    for (const auto& w : splitScenarioLine(line).words) out.push_back(w.text);
    return out;
}

using Words = std::vector<std::string>;

// Tests that words split on spaces and tabs, and that a '#' starts a
// comment only where it begins a word outside quotes.
TEST(ScenarioParser, SplitsWordsAndComments) {
    EXPECT_EQ(texts("tap  bubble:com.apple.siri\t"), (Words{"tap", "bubble:com.apple.siri"}));
    EXPECT_EQ(texts("# a whole comment"), Words{});
    EXPECT_EQ(texts("   "), Words{});
    EXPECT_EQ(texts("wait 1 # then more"), (Words{"wait", "1"}));
    EXPECT_EQ(texts("wait 1 #"), (Words{"wait", "1"}));
    EXPECT_EQ(texts("tap bubble#2"), (Words{"tap", "bubble#2"}));
    EXPECT_EQ(texts("settings c=\"#00ff00\" # colour"), (Words{"settings", "c=#00ff00"}));
    EXPECT_EQ(texts("menu \"#1 choice\""), (Words{"menu", "#1 choice"}));
}

// Tests quoting: spaces and escapes inside quotes, pieces that touch make
// one word, and what is remembered of the raw text.
TEST(ScenarioParser, QuotesMakeOneWord) {
    auto parsed = splitScenarioLine(R"(menu "Hide in this app" name="two words" "a\"b\\c" "")");
    ASSERT_TRUE(parsed.error.empty());
    ASSERT_EQ(parsed.words.size(), 5u);
    EXPECT_EQ(parsed.words[1].text, "Hide in this app");
    EXPECT_TRUE(parsed.words[1].quoted);
    EXPECT_EQ(parsed.words[2].text, "name=two words");
    EXPECT_EQ(parsed.words[2].raw, "name=\"two words\"");
    EXPECT_EQ(parsed.words[3].text, "a\"b\\c");
    EXPECT_EQ(parsed.words[4].text, "");
    EXPECT_TRUE(parsed.words[4].quoted);
    EXPECT_FALSE(parsed.words[0].quoted);
    // Offsets point back into the line.
    const std::string line = "expect /a == [1, 2]";
    auto p = splitScenarioLine(line);
    EXPECT_EQ(line.substr(p.words[3].begin), "[1, 2]");
}

TEST(ScenarioParser, UnterminatedQuoteIsAnError) {
    EXPECT_FALSE(splitScenarioLine("menu \"Cancel").error.empty());
    EXPECT_FALSE(splitScenarioLine("settings a=\"x\\\"").error.empty());
}

// Tests that a quoted text splits back into one word holding exactly that
// text, alone on a line and touching other pieces, for texts that look
// like the language's own syntax.
TEST(ScenarioParser, QuotingRoundTrips) {
    const std::string awkward[] = {"",
                                   " ",
                                   "  7",
                                   "two words",
                                   "#",
                                   "# not a comment",
                                   "a\"b",
                                   "\\",
                                   "\\\"",
                                   "ends in \\",
                                   "\"",
                                   "\"\"",
                                   "tab\there",
                                   "=",
                                   "k=v",
                                   "[1,2]",
                                   "bubble#2",
                                   "\\n",
                                   "日本語 ✓",
                                   std::string("nul\0inside", 10),
                                   std::string(300, 'w')};
    for (const auto& text : awkward) {
        ASSERT_TRUE(fitsOnOneLine(text));
        auto alone = splitScenarioLine("menu " + quoteText(text) + " # after");
        ASSERT_TRUE(alone.error.empty()) << text;
        ASSERT_EQ(alone.words.size(), 2u) << text;
        EXPECT_EQ(alone.words[1].text, text);
        EXPECT_TRUE(alone.words[1].quoted);
        auto touching = splitScenarioLine("state " + quoteText(text) + "=" + quoteText(text));
        ASSERT_EQ(touching.words.size(), 2u) << text;
        EXPECT_EQ(touching.words[1].text, text + "=" + text);
    }
    // A line break ends a scenario line: such a text cannot be one word.
    EXPECT_FALSE(fitsOnOneLine("two\nlines"));
    EXPECT_FALSE(fitsOnOneLine("cr\r"));
}

// Tests each kind of file value and the types it becomes on disk.
TEST(ScenarioParser, FileValues) {
    auto b = std::dynamic_pointer_cast<NSNumber>(*parseFileValue("true"));
    ASSERT_TRUE(b);
    EXPECT_EQ(b->kind(), NSNumber::Kind::Bool);
    EXPECT_TRUE(b->boolValue());
    auto i = std::dynamic_pointer_cast<NSNumber>(*parseFileValue("-42"));
    ASSERT_TRUE(i);
    EXPECT_EQ(i->kind(), NSNumber::Kind::Integer);
    EXPECT_EQ(i->integerValue(), -42);
    auto r = std::dynamic_pointer_cast<NSNumber>(*parseFileValue("50.0"));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->kind(), NSNumber::Kind::Real);
    EXPECT_DOUBLE_EQ(r->doubleValue(), 50.0);
    auto s = std::dynamic_pointer_cast<NSString>(*parseFileValue("\"#ff0000 x\""));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->UTF8String(), "#ff0000 x");
    auto a = std::dynamic_pointer_cast<NSArray>(*parseFileValue("[1, \"a,b\", [2.5,false], []]"));
    ASSERT_TRUE(a);
    ASSERT_EQ(a->count(), 4u);
    EXPECT_EQ(std::dynamic_pointer_cast<NSString>(a->objectAtIndex(1))->UTF8String(), "a,b");
    auto inner = std::dynamic_pointer_cast<NSArray>(a->objectAtIndex(2));
    ASSERT_TRUE(inner);
    EXPECT_EQ(inner->count(), 2u);
    EXPECT_EQ(std::dynamic_pointer_cast<NSArray>(a->objectAtIndex(3))->count(), 0u);
    // Spaces inside brackets are a person's layout, empty ones included.
    for (const char* empty : {"[ ]", "{ }", "[  ]"}) {
        auto v = parseFileValue(empty);
        ASSERT_TRUE(v) << empty;
        EXPECT_EQ(formatFileValue(v->get()), std::string(empty).front() == '[' ? "[]" : "{}") << empty;
    }
    EXPECT_EQ(formatFileValue(parseFileValue("{ a : [ 1 , 2 ] }")->get()), "{a:[1,2]}");
}

TEST(ScenarioParser, BadFileValuesAreRefused) {
    for (auto [open, why] : {std::pair{"[1,2", "unterminated array"}, {"{a:1", "unterminated dictionary"}}) {
        std::string error;
        EXPECT_FALSE(parseFileValue(open, &error).has_value());
        EXPECT_NE(error.find(why), std::string::npos) << error;
    }
    for (const char* bad : {"", "yes", "TRUE", "1e5", "[1,2", "[1,,2]", "[1,]", "{a:1,}", "\"open", "12abc",
                            "99999999999999999999", "nan"}) {
        std::string error;
        EXPECT_FALSE(parseFileValue(bad, &error).has_value()) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

// Tests that every property-list type can be written, and that what a
// recording writes of a value reads back as the same value and type.
TEST(ScenarioParser, EveryPlistTypeRoundTrips) {
    auto number = [](const std::string& raw) { return std::dynamic_pointer_cast<NSNumber>(*parseFileValue(raw)); };
    EXPECT_EQ(number("18446744073709551615")->kind(), NSNumber::Kind::Unsigned);
    EXPECT_EQ(number("9223372036854775807")->kind(), NSNumber::Kind::Integer);
    EXPECT_TRUE(std::isnan(number("real:nan")->doubleValue()));
    EXPECT_EQ(number("real:-inf")->doubleValue(), -std::numeric_limits<double>::infinity());
    auto date = std::dynamic_pointer_cast<NSDate>(*parseFileValue("date:2001-01-01T00:01:00Z"));
    ASSERT_TRUE(date);
    EXPECT_EQ(date->timeIntervalSinceReferenceDate(), 60);
    EXPECT_EQ(std::dynamic_pointer_cast<NSDate>(*parseFileValue("date:1969-12-31T23:59:59.5Z"))
                  ->timeIntervalSinceReferenceDate(),
              -978307200.5);
    auto data = std::dynamic_pointer_cast<NSData>(*parseFileValue("data:SGk="));
    ASSERT_TRUE(data);
    EXPECT_EQ(std::string(data->bytes().begin(), data->bytes().end()), "Hi");
    auto text = std::dynamic_pointer_cast<NSString>(*parseFileValue("\"  two\\n\\\\n \\u{1f600}\""));
    ASSERT_TRUE(text);
    EXPECT_EQ(text->UTF8String(), "  two\n\\n \xF0\x9F\x98\x80");
    auto dict = std::dynamic_pointer_cast<NSDictionary>(*parseFileValue("{a: 1, \"b c\":[true,{}], d:date:0.5}"));
    ASSERT_TRUE(dict);
    EXPECT_EQ(dict->count(), 3u);
    EXPECT_TRUE(std::dynamic_pointer_cast<NSDate>(dict->objectForKey("d")));
    for (const char* raw : {"true", "-42", "18446744073709551615", "0.1", "1.0e+300", "-0.0", "real:inf", "\"\"",
                            "\"  lead\"", "\"tab\\there \\\"q\\\" \\u{1}\"", "date:2024-05-01T12:30:00Z",
                            "date:736252200.125", "data:", "data:AAEC/w==", "[]", "{}", "[1,[2.5,\"x\"],{k:false}]",
                            "{\"\":1,\"a b\":{c:[]},true_:data:AA==}"}) {
        auto v = parseFileValue(raw);
        ASSERT_TRUE(v) << raw;
        std::string written = formatFileValue(v->get());
        EXPECT_EQ(written.find(' ') == std::string::npos || written.find('"') != std::string::npos, true) << written;
        auto again = parseFileValue(written);
        ASSERT_TRUE(again) << written;
        EXPECT_EQ(formatFileValue(again->get()), written) << raw;
        EXPECT_EQ((*again)->className(), (*v)->className()) << raw;
    }
    EXPECT_EQ(formatFileValue(parseFileValue("date:2024-05-01T12:30:00Z")->get()), "date:2024-05-01T12:30:00Z");
    // Data of every length past a group of three is written as it was given.
    for (const char* data :
         {"data:SGk=", "data:SGVsbG8=", "data:SGVsbG8h", "data:SGVsbG8sIHdvcmxkIQ==", "data:AAEC/w=="})
        EXPECT_EQ(formatFileValue(parseFileValue(data)->get()), data);
    EXPECT_EQ(formatFileValue(parseFileValue("[1, 2.0]")->get()), "[1,2.0]");
    // A key that reads as a Boolean is quoted, so that it stays a text.
    EXPECT_EQ(formatFileValue(parseFileValue("{\"true\":1,\"false\":2,k:3}")->get()), "{\"false\":2,k:3,\"true\":1}");
    // Reals as a person writes them: the whole part in full up to 17
    // digits, an exponent only past that.
    for (auto [written, read] : {std::pair{"60.0", "60.0"},
                                 {"1500.0", "1500.0"},
                                 {"-60.0", "-60.0"},
                                 {"0.25", "0.25"},
                                 {"0.0", "0.0"},
                                 {"100000000000000000.0", "1.0e+17"}})
        EXPECT_EQ(formatFileValue(parseFileValue(written)->get()), read) << written;
    EXPECT_EQ(formatFileEntry("two words", parseFileValue("1")->get()), "\"two words\"=1");
    for (const char* bad : {"date:2024-13-01T00:00:00Z", "date:soon", "data:SG?", "{a 1}", "{a:1,a:2}", "{:1}",
                            "real:big", "\"\\u{110000}\"", "[1 2]"})
        EXPECT_FALSE(parseFileValue(bad).has_value()) << bad;
}

TEST(ScenarioParser, PointsAndNumbers) {
    auto p = parsePoint("350,115.5");
    ASSERT_TRUE(p);
    EXPECT_DOUBLE_EQ(p->x, 350);
    EXPECT_DOUBLE_EQ(p->y, 115.5);
    EXPECT_TRUE(parsePoint("-3,0"));
    EXPECT_FALSE(parsePoint("350"));
    EXPECT_FALSE(parsePoint("350,"));
    EXPECT_FALSE(parsePoint("a,b"));
    EXPECT_FALSE(parseNumber("inf"));
    EXPECT_FALSE(parseNumber("0x10"));
    EXPECT_FALSE(parseNumber(""));
    EXPECT_EQ(parseNumber("0.6"), 0.6);
}

} // namespace
