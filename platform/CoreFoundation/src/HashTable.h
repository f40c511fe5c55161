// The hash table under CFDictionary and CFSet: entries kept in insertion order (a vector), so that
// enumeration follows insertion, with an open-addressing index of hashes beside it once the table
// outgrows a linear search. A set is a table whose values are all NULL.
#ifndef CF_HASH_TABLE_H
#define CF_HASH_TABLE_H

#include "Internal.h"

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace cf {

class HashTable {
public:
    struct Entry {
        const void *key;
        const void *value;
        CFHashCode hash;
        bool live;
    };

    std::vector<Entry> entries;
    std::vector<int32_t> index;  // -1 empty; else position in entries; none while small
    static constexpr size_t kLinear = 8;
    size_t live = 0;

    CFDictionaryKeyCallBacks keyCB{};
    CFDictionaryValueCallBacks valueCB{};
    bool cfKeys = false;    // keys compared and hashed as CoreFoundation objects
    bool cfValues = false;  // values compared as CoreFoundation objects

    CFHashCode hashOf(const void *key) const;
    bool keysEqual(const void *a, const void *b) const;
    bool valuesEqual(const void *a, const void *b) const;
    const void *keepKey(const void *k) const;
    void dropKey(const void *k) const;
    const void *keepValue(const void *v) const;
    void dropValue(const void *v) const;

    // Drops dead entries and sizes the index for at least minimum entries (none when small).
    void rebuild(size_t minimum);
    // Position of the live entry holding the key, or -1.
    long find(const void *key) const;
    // Appends an entry for a key that is not present.
    void insert(const void *key, const void *value);
    void replaceValue(long at, const void *value);

    // Keyed edits: add only when absent, set (add or replace), erase.
    void add(const void *key, const void *value);
    void set(const void *key, const void *value);
    void erase(const void *key);
    // The stored entry for the key, or NULL.
    const Entry *lookUp(const void *key) const;
    // Takes the other table's callbacks and entries (this table being empty).
    void copyFrom(const HashTable &other);
    void remove(long at);
    void clear();

    // The live entries for a walk that calls out. Keys and values that are CoreFoundation
    // objects are retained until release(), so a callee that changes the table cannot free what
    // is still to be visited.
    using Snapshot = std::vector<std::pair<const void *, const void *>>;
    Snapshot snapshot() const;
    void release(const Snapshot &held) const;

    template <typename F> void forEach(F f) const
    {
        for (size_t i = 0; i < entries.size(); ++i) {
            if (entries[i].live) {
                f(entries[i].key, entries[i].value);
            }
        }
    }
};

}  // namespace cf

#endif
