#include "lom_wizard_model.h"

#include "cancel_flag.h"
#include "eid_format.h"
#include "host_utility.h"
#include "lom_catalogue.h"
#include "placement.h"
#include "project_parts.h"
#include "shell_state.h"
#include "show_message.h"
#include "zareza2v.h"

#include <QSettings>
#include <QStringList>
#include <QUrl>

#include <algorithm>
#include <filesystem>

namespace rav::lom
{

namespace
{

std::string msg(const char* defaultText, const char* id)
{
    return HostUtility::instance().GetLocalMessage(defaultText, id);
}

std::string trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The choices of the last file written are kept per project (keyed by its
// file), in the editor's own settings file.
class ChoicesStore
{
public:
    ChoicesStore()
        : store_(QString::fromStdString(shell::PlacementStoreFile().string()), QSettings::IniFormat)
    {
        store_.beginGroup(
            "LomWizard/" + QString::fromLatin1(QUrl::toPercentEncoding(QString::fromUtf8(Z_ProjectPath()))));
    }
    QSettings* operator->() { return &store_; }

private:
    QSettings store_;
};

// Sorted, each once, within [0, size).
std::vector<int> validRows(std::vector<int> rows, std::size_t size)
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    std::erase_if(rows, [size](int r) { return r < 0 || static_cast<std::size_t>(r) >= size; });
    return rows;
}

template <typename T> void eraseRows(std::vector<T>& items, const std::vector<int>& sortedRows)
{
    for (auto r = sortedRows.rbegin(); r != sortedRows.rend(); ++r)
        items.erase(items.begin() + *r);
}

} // namespace

// While work runs: only Cancel may be pressed, and the cancel flag starts
// and ends cleared, so a press meant for this work never stops the next.
struct LomWizardModel::Working {
    explicit Working(LomWizardModel& model)
        : model(model)
        , outer(!model.working_)
    {
        if (outer) {
            model.working_ = true;
            cancelFlag().store(false);
        }
    }
    ~Working()
    {
        if (outer) {
            model.working_ = false;
            cancelFlag().store(false);
        }
    }
    Working(const Working&) = delete;
    Working& operator=(const Working&) = delete;
    LomWizardModel& model;
    bool outer;
};

LomWizardModel::LomWizardModel()
{
    lomState().lomDatabaseBuilt = false;
    restoreOutput();
    const std::string& current = shell::shellState().DBaseName;
    if (eid::IsEidDatabase(current)) {
        eid_ = current;
        eidUsable_ = true;
    }
}

void LomWizardModel::setEid(const std::string& file)
{
    typeEid(file);
    eidUsable_ = eid::IsEidDatabase(eid_);
    eidChecked_ = true;
}

void LomWizardModel::typeEid(const std::string& text)
{
    const std::string file = trimmed(text);
    // The same EID keeps what was loaded and built; it does not make lists
    // or a database that were never made count as made.
    const bool same = file == eid_;
    fieldsLoaded_ = fieldsLoaded_ && same;
    lomState().lomDatabaseBuilt = lomState().lomDatabaseBuilt && same;
    eid_ = file;
    eidUsable_ = !eid_.empty();
    eidChecked_ = false;
}

std::string LomWizardModel::projectText()
{
    const auto& parts = kernel::ProjectParts::instance();
    return parts.ProjectName() + ".dpz [" + parts.HierarchyName() + "]";
}

bool LomWizardModel::go(int k)
{
    if (working_ || k < 0 || k >= kPageCount || (k > static_cast<int>(step_) && !canNext()))
        return false;
    if (step_ == Step::Eid && !eidChecked_) {
        eidChecked_ = true;
        eidUsable_ = eid::IsEidDatabase(eid_);
        if (!eidUsable_)
            return false;
    }
    switch (static_cast<Step>(k)) {
    case Step::Eid:
        eidUsable_ = !eid_.empty();
        break;
    case Step::Fields:
        shell::shellState().DBaseName = eid_;
        if (!fieldsLoaded_)
            loadFields();
        break;
    case Step::Finish:
        break;
    }
    step_ = static_cast<Step>(k);
    return true;
}

bool LomWizardModel::canBack() const
{
    return !working_ && step_ != Step::Eid;
}

bool LomWizardModel::canNext() const
{
    if (working_)
        return false;
    switch (step_) {
    case Step::Eid:
        return eidUsable_;
    case Step::Fields:
        return !output_.empty() && !chosen_.empty();
    case Step::Finish:
        return true;
    }
    return false;
}

bool LomWizardModel::canPreview() const
{
    return !working_ && step_ == Step::Finish;
}

std::string LomWizardModel::summary() const
{
    return msg("Click &Next to create the List of Materials", "542") + "\n" + msg("from EID file : ", "543") + eid_
        + "\n" + msg("and Project : ", "544") + projectText() + "\n" + msg("To LOM file : ", "545") + output_;
}

void LomWizardModel::loadFields()
{
    available_.clear();
    chosen_.clear();
    sortField_ = 0;
    descending_ = false;
    FieldCatalogue& catalogue = fieldCatalogue();
    BuildLomCatalogue(catalogue, eid_);
    for (int k = 1; k <= catalogue.size(); ++k)
        available_.push_back({ k, catalogue.entry(k).caption });
    restoreFields();
    fieldsLoaded_ = true;
}

void LomWizardModel::add(std::vector<int> rows, int before)
{
    rows = validRows(std::move(rows), available_.size());
    auto position = (before < 0 || static_cast<std::size_t>(before) > chosen_.size())
        ? chosen_.size()
        : static_cast<std::size_t>(before);
    for (int r : rows)
        chosen_.insert(chosen_.begin() + static_cast<std::ptrdiff_t>(position++), available_[static_cast<std::size_t>(r)]);
    eraseRows(available_, rows);
    afterListChange();
}

void LomWizardModel::remove(std::vector<int> rows)
{
    rows = validRows(std::move(rows), chosen_.size());
    for (int r : rows)
        available_.push_back(chosen_[static_cast<std::size_t>(r)]);
    eraseRows(chosen_, rows);
    afterListChange();
}

std::vector<int> LomWizardModel::move(const std::vector<int>& rows, int delta)
{
    std::vector<int> order(chosen_.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = static_cast<int>(i);
    const std::vector<int> now = MoveItems(order, validRows(rows, chosen_.size()), delta);
    std::vector<Field> moved;
    for (int from : order)
        moved.push_back(chosen_[static_cast<std::size_t>(from)]);
    chosen_ = std::move(moved);
    return now;
}

void LomWizardModel::afterListChange()
{
    // The sort field is one of the chosen ones: the first unless one is
    // picked.
    const bool sortChosen = std::any_of(chosen_.begin(), chosen_.end(), [this](const Field& f) { return f.number == sortField_; });
    if (!sortChosen) {
        sortField_ = chosen_.empty() ? 0 : chosen_.front().number;
        descending_ = false;
    }
}

void LomWizardModel::setSortField(int number)
{
    sortField_ = number;
    descending_ = false;
}

bool LomWizardModel::sortByColumn(int column)
{
    LomJobOptions options = job();
    if (!SortByColumn(fieldCatalogue(), options, column))
        return false;
    sortField_ = options.sortField;
    descending_ = options.descending;
    return true;
}

bool LomWizardModel::delimiterEnabled() const
{
    return FormatOfFileName(output_) == LomFormat::Text;
}

void LomWizardModel::setOutputFile(const std::string& file, bool confirmed)
{
    output_ = trimmed(file);
    outputConfirmed_ = confirmed;
}

LomQuery LomWizardModel::makeQuery()
{
    QueryChoice choice;
    for (const Field& f : chosen_)
        choice.selected.push_back(f.number);
    choice.sortNumber = sortField_;
    choice.descending = descending_;
    choice.delimiterText = delimiterText_;
    LomQuery q = makeQueryString(fieldCatalogue(), choice);
    delimiterText_ = q.delimiterBoxText;
    return q;
}

LomJobOptions LomWizardModel::job() const
{
    LomJobOptions job;
    job.eidFile = shell::shellState().DBaseName;
    job.tempDir = shell::shellState().TempDir;
    job.outputFile = output_;
    job.format = FormatOfFileName(job.outputFile);
    job.group = group;
    if (!profile.empty())
        job.profile = FindProfile(profile);
    job.multiplier = multiplier;
    job.dnp = dnp;
    job.check = check;
    // Boards multiply quantities, which only grouped lines have.
    if (job.multiplier > 1 && !job.profile)
        job.group = true;
    job.quantityHeader = msg("Quantity", "916127");
    job.partsHeader = msg("Parts", "916128");
    for (const Field& f : chosen_)
        job.fields.push_back(f.number);
    job.sortField = sortField_;
    job.descending = descending_;
    job.delimiterText = delimiterText_;
    return job;
}

bool LomWizardModel::cancel()
{
    if (!working_)
        return true;
    cancelFlag().store(true);
    return false;
}

BuildResult LomWizardModel::builtDatabase() const
{
    // The temporary database of the last build (preview or finish) serves.
    BuildResult built;
    built.built = lomState().lomDatabaseBuilt;
    built.tempDbName = lomState().tempDbName;
    built.eicFieldName = lomState().eicFieldName;
    built.marked = marked_;
    return built;
}

LomWizardModel::Outcome LomWizardModel::build(ProgressSink& progress, MessageSink& messages)
{
    LomState& state = lomState();
    if (state.lomDatabaseBuilt)
        return Outcome::Done;
    Working working(*this);
    const shell::ShellState& shellValues = shell::shellState();
    // The do-not-place marks are read with every build, so the choice on the
    // last page needs no second one.
    BuildOptions options { shellValues.DBaseName, shellValues.TempDir, fieldCatalogue().size() };
    options.markAttribute = LomJobOptions {}.dnpAttribute;
    const BuildResult r = BuildLomDatabase(options, progress, messages);
    lastError_.clear();
    lastWritten_ = {};
    if (r.cancelled) {
        // Half a list is no list: the rows made so far go with their file.
        DeleteTempDatabase(r.tempDbName);
        progress.setValue(0);
        progress.setCaption("");
        return Outcome::Cancelled;
    }
    marked_ = r.marked;
    builtRows_ = r.rows;
    if (!r.tempDbName.empty()) {
        state.tempDbName = r.tempDbName;
        ++builds_;
    }
    if (!r.eicFieldName.empty())
        state.eicFieldName = r.eicFieldName;
    if (r.built) {
        state.lomDatabaseBuilt = true;
        return Outcome::Done;
    }
    if (r.noParts) {
        lastError_ = msg("No Part Used", "37122"); // the build has said so
    } else {
        lastError_ = r.error.empty() ? "the build failed" : r.error;
        messages.show({ MessageKind::Exclamation, "916018",
            FormatMessage("The List of Materials could not be built: %1", "916018", { r.error }), "" });
    }
    return Outcome::Failed;
}

LomWizardModel::Outcome LomWizardModel::previewLines(ProgressSink& progress, MessageSink& messages, LomTable& lines)
{
    Working working(*this);
    if (const Outcome built = build(progress, messages); built != Outcome::Done)
        return built;
    makeQuery();
    // One line per row of the build at most: the bar moves as they are read.
    progress.setRange(0, builtRows_);
    Outcome outcome = Outcome::Done;
    try {
        lines = LomJobLines(fieldCatalogue(), job(), builtDatabase(), progress);
    } catch (const LomJobCancelled&) {
        outcome = Outcome::Cancelled;
    } catch (const std::exception&) {
        outcome = Outcome::Unreadable;
    }
    progress.setValue(0);
    return outcome;
}

int LomWizardModel::previewSortColumn() const
{
    return LomJobSortColumn(fieldCatalogue(), job());
}

LomWizardModel::Outcome LomWizardModel::finish(ProgressSink& progress, MessageSink& messages)
{
    // A typed name has not been through the save dialog's question before
    // replacing a file: it is asked now, No by default.
    if (!outputConfirmed_ && std::filesystem::exists(output_)) {
        UserMessage question { MessageKind::Question, "916140",
            FormatMessage("%1 exists. Replace it?", "916140", { output_ }), "" };
        question.noByDefault = true;
        if (!messages.confirm(question))
            return Outcome::Failed;
        outputConfirmed_ = true;
    }
    Working working(*this);
    if (const Outcome built = build(progress, messages); built != Outcome::Done)
        return built;
    makeQuery();
    const LomJobOptions options = job();
    lastOutput_ = options.outputFile;
    lastClassic_ = IsClassicLom(options);
    lastWritten_ = WriteLomJob(fieldCatalogue(), options, builtDatabase(), progress, messages);
    if (!lastWritten_.written && cancelFlag().load())
        return Outcome::Cancelled; // the file as it was; the database stays for the next try
    if (lastWritten_.written) {
        rememberChoices();
        return Outcome::Done;
    }
    lastError_ = lastWritten_.error;
    if (!lastWritten_.errorShown)
        messages.show({ MessageKind::Exclamation, "916017",
            FormatMessage("The List of Materials was not written: %1", "916017", { lastWritten_.error }), "" });
    return Outcome::Failed;
}

UserMessage LomWizardModel::writtenReport() const
{
    UserMessage m { MessageKind::Information, "", "", "" };
    if (lastClassic_) {
        m.id = "916012";
        m.text = FormatMessage("%1 lines written to %2.", "916012", { GroupedCount(lastWritten_.lines), lastOutput_ });
    } else {
        m.id = "916014";
        m.text = FormatMessage("%1 lines (%2 parts) written to %3.", "916014",
            { GroupedCount(lastWritten_.lines), GroupedCount(lastWritten_.parts), lastOutput_ });
    }
    if (!lastWritten_.problems.empty()) {
        m.kind = MessageKind::Exclamation;
        m.text += "\n"
            + FormatMessage("The check found %1 problems:", "916139",
                { GroupedCount(static_cast<std::int64_t>(lastWritten_.problems.size())) });
        for (std::size_t i = 0; i < lastWritten_.problems.size() && i < 10; ++i)
            m.text += "\n" + lastWritten_.problems[i];
    }
    return m;
}

void LomWizardModel::rememberChoices() const
{
    ChoicesStore store;
    QStringList fields;
    for (const Field& f : chosen_)
        fields << QString::number(f.number);
    store->setValue("Eid", QString::fromStdString(eid_));
    store->setValue("Fields", fields.join(','));
    store->setValue("Sort", sortField_);
    store->setValue("Output", QString::fromStdString(output_));
    store->setValue("Delimiter", QString::fromStdString(delimiterText_));
    store->setValue("Group", group);
}

void LomWizardModel::restoreOutput()
{
    ChoicesStore store;
    if (!store->contains("Output"))
        return;
    output_ = store->value("Output").toString().toStdString();
    delimiterText_ = store->value("Delimiter", "|").toString().toStdString();
    group = store->value("Group", false).toBool();
}

void LomWizardModel::restoreFields()
{
    ChoicesStore store;
    // Catalogue numbers name the same fields only in the same EID.
    if (store->value("Eid").toString().toStdString() != eid_)
        return;
    for (const QString& n : store->value("Fields").toString().split(',', Qt::SkipEmptyParts)) {
        const auto found = std::find_if(
            available_.begin(), available_.end(), [&n](const Field& f) { return f.number == n.toInt(); });
        if (found == available_.end())
            continue;
        chosen_.push_back(*found);
        available_.erase(found);
    }
    const int sort = store->value("Sort").toInt();
    sortField_ = std::any_of(chosen_.begin(), chosen_.end(), [sort](const Field& f) { return f.number == sort; })
        ? sort
        : (chosen_.empty() ? 0 : chosen_.front().number);
}

} // namespace rav::lom
