#include "pair_decision.h"

#include "file_times.h"

namespace copperfold {
namespace {

PairAction SyncAction(const PairRules& rules, const FileEntry& from, const FileEntry* to) {
    if (!to) return PairAction::CopyForward;
    const TimeOrder order = CompareLastWrite(from, *to, rules.localTimeSide);
    if (order == TimeOrder::Same) return PairAction::Compare;
    const FileEntry& newer = order == TimeOrder::Newer ? from : *to;
    if (newer.lastWriteTime > rules.now + kFutureTolerance) return PairAction::LeaveAlone;
    return order == TimeOrder::Newer ? PairAction::CopyForward : PairAction::CopyBack;
}

bool SameFile(const PairRules& rules, const FileEntry& from, const FileEntry& to) {
    return !to.IsFolder() && from.size == to.size &&
           CompareLastWrite(from, to, rules.localTimeSide) == TimeOrder::Same;
}

}  // namespace

PairAction DecidePair(const PairRules& rules, const FileEntry& from, const FileEntry* to) {
    if (rules.type == JobType::Sync) return SyncAction(rules, from, to);
    if (rules.skipSame && to && SameFile(rules, from, *to)) return PairAction::Compare;
    return PairAction::CopyForward;
}

}  // namespace copperfold
