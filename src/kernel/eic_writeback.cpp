#include "eic_writeback.h"

#include "kicad_writeback.h"
#include "project_parts.h"
#include "zareza2v.h"

#include <map>
#include <stdexcept>
#include <unordered_map>

namespace rav::kernel
{

namespace
{

std::unordered_map<std::string, std::string> currentCodes()
{
    auto& parts = ProjectParts::instance();
    parts.CollectProjectDevices();
    std::unordered_map<std::string, std::string> codes;
    for (const auto& p : parts.PartList())
        codes.emplace(p.PartName, p.Eic);
    return codes;
}

std::string shown(const std::string& code)
{
    return code.empty() ? "(none)" : code;
}

} // namespace

std::vector<EicChange> planEicChanges(const std::vector<WantedCode>& wanted)
{
    const auto codes = currentCodes();
    std::vector<EicChange> plan;
    std::map<std::string, std::size_t> planned;
    for (const auto& w : wanted) {
        auto it = codes.find(w.device);
        EicChange change { w.device, it == codes.end() ? "" : it->second, w.code, it != codes.end() };
        auto seen = planned.find(w.device);
        if (seen != planned.end()) {
            plan[seen->second].newCode = w.code;
            continue;
        }
        planned.emplace(w.device, plan.size());
        plan.push_back(std::move(change));
    }
    std::erase_if(plan, [](const EicChange& c) { return c.known && c.oldCode == c.newCode; });
    return plan;
}

std::string describeChanges(const std::vector<EicChange>& changes)
{
    std::string out;
    for (const auto& c : changes)
        out += c.device + ": " + (c.known ? shown(c.oldCode) + " -> " + shown(c.newCode) : "no such device") + "\n";
    return out;
}

WriteBack::WriteBack()
{
    if (Z_BeginChange() == 0)
        throw std::runtime_error(Z_LastError());
    open_ = true;
}

WriteBack::~WriteBack()
{
    if (open_)
        Z_EndChange(1);
}

void WriteBack::commit()
{
    open_ = false;
    if (Z_EndChange(1) == 0)
        throw std::runtime_error(Z_LastError());
}

void WriteBack::rollback()
{
    open_ = false;
    Z_EndChange(0);
}

std::size_t applyEicChanges(const std::vector<EicChange>& changes, MessageSink& messages)
{
    if (changes.empty())
        return 0;
    // Counting what the messages report tells the refused devices apart.
    struct Counting final : MessageSink {
        MessageSink& inner;
        std::size_t shown = 0;
        explicit Counting(MessageSink& m) : inner(m) { }
        void show(const UserMessage& m) override
        {
            ++shown;
            inner.show(m);
        }
        bool confirm(const UserMessage& m) override { return inner.confirm(m); }
    } counting(messages);
    WriteBack writeBack;
    std::size_t written = 0;
    auto& parts = ProjectParts::instance();
    for (const auto& c : changes) {
        const std::size_t before = counting.shown;
        parts.UpdateDeviceEic(c.device, c.newCode, counting);
        written += counting.shown == before ? 1 : 0;
    }
    writeBack.commit();
    return written;
}

std::size_t offerDesignWrite(MessageSink& messages)
{
    const char* path = Z_ProjectPath();
    if (!path || !*path)
        return 0;
    try {
        const auto link = project::loadDesignLink(path);
        if (!link)
            return 0;
        const auto plan = project::planDesignWrite(path, project::writeBackField(*link, ""));
        if (plan.files.empty())
            return 0;
        UserMessage question;
        question.kind = MessageKind::Question;
        question.text = "Write the codes into the KiCad schematics too?\n\n" + project::describeDesignWrite(plan);
        if (!messages.confirm(question))
            return 0;
        project::applyDesignWrite(path, plan);
        return plan.changes.size();
    } catch (const std::exception& e) {
        UserMessage refusal;
        refusal.text = std::string("The schematics were not written: ") + e.what();
        messages.show(refusal);
        return 0;
    }
}

std::vector<EicChange> undoLastWriteBack()
{
    const auto before = currentCodes();
    if (Z_UndoChange() == 0)
        throw std::runtime_error(Z_LastError());
    auto& parts = ProjectParts::instance();
    parts.CollectProjectDevices();
    std::vector<EicChange> changes;
    for (const auto& p : parts.PartList()) {
        auto it = before.find(p.PartName);
        if (it != before.end() && it->second != p.Eic)
            changes.push_back({ p.PartName, it->second, p.Eic, true });
    }
    return changes;
}

} // namespace rav::kernel
