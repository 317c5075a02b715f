// Feeds arbitrary bytes through the change-record walk and the collapsing of pending changes.
#include <cstddef>
#include <cstdint>
#include <span>

#include "copperfold/core/change_records.h"
#include "copperfold/core/pending_changes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::byte> bytes(reinterpret_cast<const std::byte*>(data), size);
    const auto changes = copperfold::ParseChangeRecords(bytes);
    // Every record takes at least its header from the bytes.
    if (changes.size() > size / copperfold::kChangeRecordNameOffset) __builtin_trap();
    copperfold::PendingChanges pending;
    for (const auto& change : changes) {
        if (change.name.size() * 2 > size) __builtin_trap();
        pending.Add(change);
    }
    if (pending.size() > changes.size()) __builtin_trap();
    while (pending.TakeOldest()) {
    }
    return 0;
}
