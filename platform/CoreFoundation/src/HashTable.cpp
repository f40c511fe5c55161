// The hash table under CFDictionary and CFSet (see HashTable.h).
#include "HashTable.h"

namespace cf {

CFHashCode HashTable::hashOf(const void *key) const
{
    if (cfKeys) {
        return CFHash(key);
    }
    return keyCB.hash != nullptr ? keyCB.hash(key) : reinterpret_cast<CFHashCode>(key) >> 3;
}

bool HashTable::keysEqual(const void *a, const void *b) const
{
    if (a == b) {
        return true;
    }
    if (cfKeys) {
        return CFEqual(a, b);
    }
    return keyCB.equal != nullptr && keyCB.equal(a, b);
}

bool HashTable::valuesEqual(const void *a, const void *b) const
{
    if (a == b) {
        return true;
    }
    if (cfValues) {
        return CFEqual(a, b);
    }
    return valueCB.equal != nullptr && valueCB.equal(a, b);
}

const void *HashTable::keepKey(const void *k) const
{
    if (keyCB.retain == nullptr) {
        return k;
    }
    return cfKeys && keyCB.retain == kCFTypeDictionaryKeyCallBacks.retain ? CFRetain(k) : keyCB.retain(nullptr, k);
}

void HashTable::dropKey(const void *k) const
{
    if (keyCB.release != nullptr) {
        keyCB.release(nullptr, k);
    }
}

const void *HashTable::keepValue(const void *v) const
{
    if (valueCB.retain == nullptr) {
        return v;
    }
    return valueCB.retain(nullptr, v);
}

void HashTable::dropValue(const void *v) const
{
    if (valueCB.release != nullptr) {
        valueCB.release(nullptr, v);
    }
}

void HashTable::rebuild(size_t minimum)
{
    if (live != entries.size()) {
        std::vector<Entry> kept;
        kept.reserve(live);
        for (const Entry &e : entries) {
            if (e.live) {
                kept.push_back(e);
            }
        }
        entries.swap(kept);
    }
    if (minimum <= kLinear) {
        index.clear();  // small tables are searched linearly
        return;
    }
    size_t size = 16;
    while (size < minimum * 2) {
        size *= 2;
    }
    index.assign(size, -1);
    for (size_t i = 0; i < entries.size(); ++i) {
        size_t slot = entries[i].hash & (size - 1);
        while (index[slot] != -1) {
            slot = (slot + 1) & (size - 1);
        }
        index[slot] = static_cast<int32_t>(i);
    }
}

long HashTable::find(const void *key) const
{
    CFHashCode h = hashOf(key);
    if (index.empty()) {
        for (size_t i = 0; i < entries.size(); ++i) {
            const Entry &e = entries[i];
            if (e.live && e.hash == h && keysEqual(e.key, key)) {
                return static_cast<long>(i);
            }
        }
        return -1;
    }
    size_t mask = index.size() - 1;
    for (size_t slot = h & mask;; slot = (slot + 1) & mask) {
        int32_t at = index[slot];
        if (at == -1) {
            return -1;
        }
        const Entry &e = entries[static_cast<size_t>(at)];
        if (e.live && e.hash == h && keysEqual(e.key, key)) {
            return at;
        }
    }
}

void HashTable::insert(const void *key, const void *value)
{
    if (index.empty() ? entries.size() + 1 > kLinear : (entries.size() + 1) * 2 > index.size()) {
        rebuild(live + 1);
    }
    CFHashCode h = hashOf(key);
    Entry e{keepKey(key), keepValue(value), h, true};
    entries.push_back(e);
    ++live;
    if (index.empty()) {
        return;
    }
    size_t mask = index.size() - 1;
    size_t slot = h & mask;
    while (index[slot] != -1) {
        slot = (slot + 1) & mask;
    }
    index[slot] = static_cast<int32_t>(entries.size() - 1);
}

void HashTable::replaceValue(long at, const void *value)
{
    Entry &e = entries[static_cast<size_t>(at)];
    const void *old = e.value;
    e.value = keepValue(value);  // retain the new value before releasing the old one
    dropValue(old);
}

void HashTable::add(const void *key, const void *value)
{
    if (find(key) < 0) {
        insert(key, value);
    }
}

void HashTable::set(const void *key, const void *value)
{
    long at = find(key);
    if (at >= 0) {
        replaceValue(at, value);
    } else {
        insert(key, value);
    }
}

void HashTable::erase(const void *key)
{
    long at = find(key);
    if (at >= 0) {
        remove(at);
    }
}

const HashTable::Entry *HashTable::lookUp(const void *key) const
{
    long at = find(key);
    return at < 0 ? nullptr : &entries[static_cast<size_t>(at)];
}

void HashTable::copyFrom(const HashTable &other)
{
    keyCB = other.keyCB;
    valueCB = other.valueCB;
    cfKeys = other.cfKeys;
    cfValues = other.cfValues;
    rebuild(other.live);
    other.forEach([this](const void *key, const void *value) { insert(key, value); });
}

void HashTable::remove(long at)
{
    Entry &e = entries[static_cast<size_t>(at)];
    const void *key = e.key;
    const void *value = e.value;
    e.live = false;
    --live;
    if (live * 2 < entries.size() && entries.size() > 16) {
        rebuild(live);
    }
    dropKey(key);
    dropValue(value);
}

void HashTable::clear()
{
    std::vector<Entry> old;
    old.swap(entries);
    index.clear();
    live = 0;
    for (const Entry &e : old) {
        if (e.live) {
            dropKey(e.key);
            dropValue(e.value);
        }
    }
}

HashTable::Snapshot HashTable::snapshot() const
{
    Snapshot held;
    held.reserve(live);
    bool holdKeys = cfKeys && keyCB.retain != nullptr;
    bool holdValues = cfValues && valueCB.retain != nullptr;
    forEach([&](const void *k, const void *v) {
        held.emplace_back(holdKeys ? CFRetain(k) : k, holdValues ? CFRetain(v) : v);
    });
    return held;
}

void HashTable::release(const Snapshot &held) const
{
    bool holdKeys = cfKeys && keyCB.retain != nullptr;
    bool holdValues = cfValues && valueCB.retain != nullptr;
    for (const auto &entry : held) {
        if (holdKeys) {
            CFRelease(entry.first);
        }
        if (holdValues) {
            CFRelease(entry.second);
        }
    }
}

}  // namespace cf
