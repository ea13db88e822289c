// One action, as every change goes: planned against the planning view of the machine, checked
// as a whole, made, saved once; then the files a repair removes go.
#include <string>
#include <vector>

#include "office/ZelMso.h"
#include "support/ZelRegistry.h"

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

TZelMso::TRepairResult TZelMso::Perform(const TActionPlan& plan) {
  IRegistry& registry = machine_.Registry();
  if (!plan.Changes.registry.Empty()) {
    TZelChanges changes(registry);
    // Another program may have changed the keys since the plan read them (a second Tovalin,
    // Office itself): the plan's before-state is what the record keeps and what a refusal puts
    // back, so it must still be true.
    if (const std::vector<std::string> differ = Differences(registry, plan.Changes.registry);
        !differ.empty()) {
      std::string text = "計画の後でレジストリが変わったため、変更しませんでした。";
      for (const std::string& line : differ) text += "\r\n" + line;
      throw ERegistryException(text);
    }
    if (RegRefusal refusal = CheckWriteAccess(registry, plan.Changes.registry)) {
      throw ERegistryRefusedException(std::move(refusal), machine_.ErrorText(refusal.code));
    }
    if (RegRefusal refusal = ApplyChanges(registry, plan.Changes.registry)) {
      throw ERegistryRefusedException(std::move(refusal), machine_.ErrorText(refusal.code));
    }
    changes.Commit();
  }
  TRepairResult done = plan.Repair;
  if (done.RemovesFiles) {
    // The plan counted every file it would remove; what counts is what went.
    done.Removed = 0;
    for (const std::string& file : plan.Changes.files) {
      if (machine_.Files().DeleteFile(file)) {
        ++done.Removed;
      } else {
        ++done.Failed;
      }
    }
  }
  return done;
}

}  // namespace tovalin
