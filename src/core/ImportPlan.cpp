#include "core/ImportPlan.h"

#include <set>

#include "core/DsiCodec.h"

namespace zentrel {

DsiFileCount ReadDsiFileCount(const ProfileFile& file) {
    DsiFileCount count;
    std::string text = "0";
    count.present = file.Get("General", "Items", text);
    count.empty = text.empty();
    int sources = 0;
    count.valid = !count.empty && ParseDsiCount(text, &sources) == DsiCount::Ok;
    count.announced = count.valid ? sources : 0;
    if (!count.valid || sources <= 0) return count;
    std::set<int> named;
    file.ForEachSection([&](const std::string& name) {
        const int index = DsiSourceSectionIndex(name);
        if (index >= 0 && index < sources) named.insert(index);
    });
    int previous = -1;
    for (int index : named) {
        if (index > previous + 1) count.indices.push_back(previous + 1);
        count.indices.push_back(index);
        previous = index;
    }
    if (previous + 1 < sources) count.indices.push_back(previous + 1);
    return count;
}

DsiSourcePlan PlanDsiSource(const ProfileFile& file, int index, const DsiImportTarget& target) {
    DsiSourcePlan plan;
    plan.section = DsiIndexedName("DSN#%d", index);
    plan.fileName = file.GetString(plan.section, "DSN", "");
    if (plan.fileName.empty()) {
        plan.section = DsiIndexedName("DSN%d", index);
        plan.fileName = file.GetString(plan.section, "DSN", "");
    }
    plan.name = plan.fileName;
    if (plan.fileName.empty()) return plan;
    plan.driver = file.GetString(plan.section, "Driver", "");
    // The view the command line forces, else the one the section names,
    // else the program's own.
    std::string platformText;
    if (!target.systemScope) {
        plan.platform = Platform::Shared;
    } else if (target.viewForced) {
        plan.platform = target.forced;
    } else if (file.Get(plan.section, "Platform", platformText)) {
        if (!ParsePlatformText(platformText, &plan.platform)) {
            plan.refusal = DsiRefusal::Platform;
            plan.refusalDetail = platformText;
        }
    } else {
        plan.platform = target.own;
    }
    return plan;
}

void PlanDsiSourceRows(const ProfileFile& file, const DsiImportTarget& target, DsiSourcePlan& plan) {
    if (plan.refusal != DsiRefusal::None) return;
    // Everything the source asks for is checked before the registry is
    // touched, so that a source refused as a whole replaces nothing.
    plan.refusalDetail = DsnNameProblem(plan.name);
    if (!plan.refusalDetail.empty()) {
        plan.refusal = DsiRefusal::Name;
        return;
    }
    if (target.reserved && target.reserved(plan.name)) {
        plan.refusal = DsiRefusal::Reserved;
        return;
    }
    plan.rows = ReadDsiSourceRows(file, plan.section, target.maxRows);
    if (!plan.rows.countValid) {
        plan.refusal = DsiRefusal::RowCount;
        plan.refusalDetail = plan.rows.countText;
    }
}

}  // namespace zentrel
