// Property-list files in Apple's binary ("bplist00") and XML formats, with
// the guards that make any input safe to read: binary lists through the
// device's own validated reader and writer, XML through libplist. The
// parts live in plist/, one concern to a file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/Foundation.h"

enum class PropertyListFormat { Binary, XML };

struct PropertyListLimits {
    // Larger inputs are refused before parsing.
    static constexpr uint64_t maxBytes = 32ull * 1024 * 1024;
    // Deeper nesting of arrays and dictionaries is refused before parsing.
    static constexpr int maxDepth = 128;
    // More values than this (counting every copy of a shared binary
    // object, and every XML element) are refused before parsing.
    static constexpr uint64_t maxNodes = 1u << 20;
};

class PropertyList {
public:
    // Parses bytes in either format. nil for anything that is not a
    // well-formed property list within the limits.
    static id parse(const std::vector<uint8_t>& bytes, PropertyListFormat* format = nullptr);
    // Reads a file (a path on this machine, not a device path).
    static id readFile(const std::string& hostPath, PropertyListFormat* format = nullptr);
    // The raw bytes of a file (a path on this machine), telling a missing
    // file from one that exists but cannot be read (a directory, not a
    // regular file, too large, an I/O error).
    enum class ReadResult { Ok, Missing, Unreadable };
    static ReadResult readFileBytes(const std::string& hostPath, std::vector<uint8_t>& out);
    // Serialises a value made of property-list types; false if it holds
    // anything else (or nil).
    static bool serialize(const NSObject& value, PropertyListFormat format, std::vector<uint8_t>& out);
    // Rewrites a serialised dictionary with one key set to value (or
    // removed, for a null value), in the list's own format: every other key
    // keeps its place and its value exactly as stored. An empty input is an
    // empty binary dictionary. False (out empty) when the input is not a
    // dictionary property list within the limits, or the value has no
    // property-list form.
    static bool setValueForKey(const std::vector<uint8_t>& list, const std::string& key, const NSObject* value,
                               std::vector<uint8_t>& out, PropertyListFormat* format = nullptr);
    // The same for several keys in turn, in one rewrite: each change sees
    // the ones before it. False (out empty) if any of them cannot be made.
    static bool setValuesForKeys(const std::vector<uint8_t>& list,
                                 const std::vector<std::pair<std::string, const NSObject*>>& changes,
                                 std::vector<uint8_t>& out, PropertyListFormat* format = nullptr);
};

// `initWithContentsOfFile:` of NSDictionary / NSMutableDictionary, with a
// device path: nil when the file is missing, unreadable, not a property
// list, or its root is not a dictionary. It reads the file as it is on
// disk, as on the phone: changes still with the preferences daemon are
// not in it until the daemon has written them.
std::shared_ptr<NSMutableDictionary> dictionaryWithContentsOfFile(const std::string& devicePath);
