// The property-list reader, fed any bytes.
//
// What must hold for every input:
//  - parsing never crashes, hangs or leaks, whatever the bytes;
//  - whatever parses is written again in both formats (unless it holds
//    something a format cannot carry), and what was written parses back
//    equal to what was read: nothing a reader accepts is changed by a
//    round trip;
//  - the preferences store's merge (setValueForKey) accepts exactly the
//    inputs that parse to a dictionary (and the empty file), and keeps
//    every other key's value: a write never loses data, and never
//    replaces a file that could not be read.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "FuzzSupport.h"
#include "foundation/PropertyList.h"

namespace {

void roundTrip(const NSObject& value) {
    for (PropertyListFormat format : {PropertyListFormat::Binary, PropertyListFormat::XML}) {
        bool xml = format == PropertyListFormat::XML;
        std::vector<uint8_t> written;
        if (!PropertyList::serialize(value, format, written)) {
            fuzz::check(fuzz::holdsUnwritable(&value, xml), "a value that was read could not be written");
            continue;
        }
        fuzz::check(!fuzz::holdsUnwritable(&value, xml), "a value that cannot be carried was written");
        PropertyListFormat again = xml ? PropertyListFormat::Binary : PropertyListFormat::XML;
        id reread = PropertyList::parse(written, &again);
        fuzz::check(reread != nullptr, "what was written does not parse back");
        fuzz::check(again == format, "what was written parses back in the other format");
        if (xml && fuzz::holdsFractionalDate(&value)) continue;
        fuzz::check(plistEqual(&value, reread.get(), fuzz::kAsReadersSee), "a round trip changed the value");
    }
}

// The merge of one key: set a new key, overwrite the first key, remove the
// first key. The other keys keep their values, in both formats.
void merge(const std::vector<uint8_t>& bytes, const NSDictionary* dict) {
    auto marker = NSNumber::numberWithInteger(7);
    std::vector<std::string> keys = {"fuzz.new-key"};
    if (dict && dict->count() > 0) keys.push_back(dict->entries().front().first);
    for (const std::string& key : keys) {
        for (bool remove : {false, true}) {
            std::vector<uint8_t> out;
            bool ok = PropertyList::setValueForKey(bytes, key, remove ? nullptr : marker.get(), out);
            if (!dict) {
                fuzz::check(!ok && out.empty(), "a merge rewrote a file that is no dictionary list");
                continue;
            }
            fuzz::check(ok, "a merge into a dictionary list failed");
            auto merged = std::dynamic_pointer_cast<NSDictionary>(PropertyList::parse(out));
            fuzz::check(merged != nullptr, "a merge wrote something that does not read back");
            id now = merged->objectForKey(key);
            fuzz::check(remove ? now == nullptr : plistEqual(now.get(), marker.get(), fuzz::kAsReadersSee),
                        "a merge did not set or remove its key");
            bool had = dict->objectForKey(key) != nullptr;
            uint64_t expected = remove ? dict->count() - (had ? 1 : 0) : dict->count() + (had ? 0 : 1);
            fuzz::check(merged->count() == expected, "a merge added or dropped other keys");
            for (const auto& [k, v] : dict->entries()) {
                if (k == key) continue;
                fuzz::check(plistEqual(v.get(), merged->objectForKey(k).get(), fuzz::kAsReadersSee),
                            "a merge changed another key");
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes(data, data + size);
    id value = PropertyList::parse(bytes);
    if (value) roundTrip(*value);
    if (!bytes.empty()) merge(bytes, dynamic_cast<const NSDictionary*>(value.get()));
    return 0;
}
