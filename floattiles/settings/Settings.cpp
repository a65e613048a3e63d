#include "settings/Settings.h"

#include <cctype>
#include <cmath>

#include "colorpicker/libcolorpicker.h"
#include "foundation/PropertyList.h"

namespace {

// "#" and six hexadecimal digits: the form the colour settings are written in.
bool isPlainColour(const std::string& text) {
    if (text.size() != 7 || text[0] != '#') return false;
    for (size_t i = 1; i < text.size(); ++i)
        if (!std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
    return true;
}

} // namespace

// A key counts as present when the file holds any value for it. A value
// with no reading of the key's type (an array, a dictionary, data or a
// date under a switch or the size; anything but a text under a colour)
// leaves the variable as it was, like an absent key.
SettingReading readSetting(const SettingDefinition& d, const id& value, FTSettings& s) {
    auto* number = dynamic_cast<const NSNumber*>(value.get());
    auto text = std::dynamic_pointer_cast<NSString>(value);
    switch (d.kind) {
    case SettingKind::Boolean: {
        auto b = readBool(value.get());
        if (!b) return SettingReading::NotOfItsType;
        s.*d.flag = *b;
        if (text) return SettingReading::FlagFromText;
        return number->kind() == NSNumber::Kind::Bool ? SettingReading::AsWritten : SettingReading::FlagFromNumber;
    }
    case SettingKind::Number: {
        auto n = readDouble(value.get());
        if (!n) return SettingReading::NotOfItsType;
        // A size that is not a finite number above zero would give bubbles
        // that cannot be seen or touched, or geometry of NaN: keep the old one.
        float f = narrowToFloat(*n);
        if (!(std::isfinite(f) && f > 0.0f))
            return text ? SettingReading::SizeFromTextRefused : SettingReading::SizeRefused;
        s.*d.number = f;
        if (text) return SettingReading::SizeFromText;
        return number->kind() == NSNumber::Kind::Bool ? SettingReading::SizeFromBoolean : SettingReading::AsWritten;
    }
    case SettingKind::Colour:
        if (!text) return SettingReading::NotOfItsType;
        s.*d.colour = text;
        if (isPlainColour(text->UTF8String())) return SettingReading::AsWritten;
        return LCPColorFromString(text->UTF8String()) ? SettingReading::ColourRead : SettingReading::ColourUnread;
    }
    return SettingReading::NotOfItsType;
}

std::string settingReadingWords(const SettingDefinition& d, SettingReading reading) {
    switch (reading) {
    case SettingReading::AsWritten:
        return "";
    case SettingReading::FlagFromNumber:
        return "a number reads as on unless it is 0";
    case SettingReading::FlagFromText:
        return "a text reads as on only when it begins with Y, T (either case) or a digit 1 to 9, after any "
               "spaces, a sign and zeros";
    case SettingReading::SizeFromText:
        return "a text reads as the number it begins with";
    case SettingReading::SizeFromBoolean:
        return "a Boolean reads as 1 (true) or 0 (false)";
    case SettingReading::SizeRefused:
        return "a size is a finite number above 0: the plugin keeps the size it had";
    case SettingReading::SizeFromTextRefused:
        return "a text reads as the number it begins with (0 when it begins with none), and a size is a finite "
               "number above 0: the plugin keeps the size it had";
    case SettingReading::ColourRead:
        return "the colour library reads this text as the colour shown";
    case SettingReading::ColourUnread:
        return std::string("no colour the colour library can read: the plugin draws its default, ") + d.fallback;
    case SettingReading::NotOfItsType:
        if (d.kind == SettingKind::Colour) return "a colour is a text: the plugin keeps the colour it had";
        return std::string("a ") + (d.kind == SettingKind::Boolean ? "switch" : "size") +
               " reads a Boolean, a number or a text, and this is none of them: the plugin keeps the value it had";
    }
    return "";
}

void readSettingsFile(FTSettings& s, const std::function<void(OverlayPush)>& push) {
    std::shared_ptr<NSDictionary> file = dictionaryWithContentsOfFile(kSettingsPath);
    if (!file) file = std::make_shared<NSDictionary>();

    for (const SettingDefinition& d : settingDefinitions()) {
        id value = file->objectForKey(d.key);
        if (!value) continue;
        readSetting(d, value, s);
        if (d.push != OverlayPush::None && push) push(d.push);
    }
    if (push)
        for (OverlayPush after : kPushesAfterReading) push(after);
}
