// One action, as every change goes: planned against the planning view of the machine, checked
// as a whole, made, saved once; then the files a repair removes go.
#include <string>
#include <vector>

#include "office/ZelMso.h"
#include "support/ZelRegistry.h"
#include "support/ZelSysUtils.h"

namespace tovalin {

TZelMso::TActionPlan TZelMso::Planned(const std::function<TRepairResult()>& body) {
  PlanningPlatform planning(machine_);
  acting_.SetTarget(planning);
  struct Restore {
    SwitchPlatform& acting;
    Platform& machine;
    ~Restore() { acting.SetTarget(machine); }
  } restore{acting_, machine_};
  TRepairResult repair = body();
  return {planning.Plan(), std::move(repair)};
}

TZelMso::TRepairResult TZelMso::Perform(const TActionPlan& plan, IActionJournal* journal) {
  // A record that never saw its action finish goes again.
  struct Abandon {
    IActionJournal* journal;
    ~Abandon() {
      if (journal != nullptr) journal->Abandoned();
    }
  } abandon{journal};
  PerformChanges(
      machine_.Registry(), plan.Changes.registry,
      [this](long code) { return machine_.ErrorText(code); },
      [&] {
        if (journal != nullptr) journal->Planned(plan.Changes, machine_.Registry());
      });
  TRepairResult done = plan.Repair;
  if (done.RemovesFiles) {
    // The plan counted every file it would remove; what counts is what went.
    done.Removed = 0;
    IFileSystem& files = machine_.Files();
    for (const std::string& file : plan.Changes.files) {
      RemovedFile removed{{file, {}, {}}, false};
      removed.inTrash = files.TrashFile(file, removed.trash) == win::kSuccess;
      if (!removed.inTrash && !files.DeleteFile(file)) {
        ++done.Failed;
        continue;
      }
      ++done.Removed;
      if (!removed.inTrash) ++done.RemovedForGood;
      if (journal != nullptr) journal->FileRemoved(removed);
    }
  }
  if (journal != nullptr) journal->Done();
  abandon.journal = nullptr;
  return done;
}

namespace {

constexpr const char* kFullWidthSpace = "\xE3\x80\x80";  // U+3000

// A field left blank is stored as one full-width space: the stored value then reads back as
// empty, where an empty value would let an older place of the same field show through.
std::string Stored(std::string_view text) {
  return TrimWideSpaces(text).empty() ? std::string(kFullWidthSpace) : std::string(text);
}

std::string Expected(std::string_view text) {
  return TrimWideSpaces(text).empty() ? std::string() : std::string(text);
}

}  // namespace

TZelMso::TActionPlan TZelMso::PlanUserInfoUpdate(std::string_view company, std::string_view owner,
                                                 std::string_view initials) {
  return PlanUserInfo(Stored(company), Stored(owner), Stored(initials));
}

bool TZelMso::UserInfoReads(std::string_view company, std::string_view owner,
                            std::string_view initials) const {
  return Company == Expected(company) && Owner == Expected(owner) && Initials == Expected(initials);
}

}  // namespace tovalin
