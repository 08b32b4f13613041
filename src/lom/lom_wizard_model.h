// What the List of Materials wizard knows, without its window: the EID and
// the project, the available and the chosen fields, the sort field, the
// output file with its format, delimiter and grouping, the options of the
// last page, which page is shown and what may be pressed there, the
// choices kept per project, and the LomJob that the wizard runs (the same
// one `ravederi lom` runs). The window only shows this state and passes the
// user's actions on; tests drive the model directly.
//
// Pages and how they change:
//   Eid --Next--> Fields --Next--> Finish --Next--> build if needed, write,
//    ^             |  ^              |               back to the main window
//    +----Back-----+  +------Back----+
// Entering Fields loads the field lists unless fieldsLoaded() (the lists
// hold the catalogue of the EID shown). The temporary database is built
// once per EID: choosing another EID (or opening the wizard) forgets it,
// so the next preview or finish builds again.
//
// Long work (build, file, preview lines) reports through the sinks given;
// while it runs, working() is true, nothing may be pressed but Cancel, and
// cancel() raises the process-wide cancel flag. A cancelled build leaves
// no temporary database and no file, and every choice stays.
#pragma once

#include "lom_build.h"
#include "lom_job.h"
#include "lom_query.h"
#include "sinks.h"

#include <string>
#include <vector>

namespace rav::lom
{

class LomWizardModel
{
public:
    enum class Step : int { Eid = 0, Fields = 1, Finish = 2 };
    static constexpr int kPageCount = 3;

    struct Field {
        int number = 0; // catalogue number
        std::string caption;
        bool operator==(const Field&) const = default;
    };

    // Opening: the first page, nothing loaded or built; the current EID
    // (DBaseName) when it is one, and the output choices kept for the
    // open project.
    LomWizardModel();

    // --- Page 1: EID and project -------------------------------------------
    const std::string& eid() const { return eid_; }
    // Another EID chosen in the dialog: the same one keeps what was loaded
    // and built, another one forgets both. Next waits for a real EID.
    void setEid(const std::string& file);
    // An EID name typed (a file or a server URI): the same, but whether it
    // is an EID is found out only by Next (checking a server's table on
    // every key would be slow), which then stays on the page when it is not.
    void typeEid(const std::string& text);
    // The open project as shown: "<name>.dpz [<hierarchy>]".
    static std::string projectText();

    // --- Pages ---------------------------------------------------------------
    Step step() const { return step_; }
    // Moves to page `k` (0..2) when it can be entered; Next on the last page
    // (k = 3) is finish(), which the caller runs itself. False: stays.
    bool go(int k);
    bool canBack() const;
    bool canNext() const;
    bool canPreview() const;
    // What the last page says before the work starts.
    std::string summary() const;

    // --- Page 2: fields, sort, delimiter, output file -------------------------
    bool fieldsLoaded() const { return fieldsLoaded_; }
    const std::vector<Field>& available() const { return available_; }
    const std::vector<Field>& chosen() const { return chosen_; }
    // Moves the available fields at `rows` (any order) to the chosen list
    // before chosen row `before` (-1 or past the end: at its end), in their
    // available order.
    void add(std::vector<int> rows, int before);
    // Moves the chosen fields at `rows` to the end of the available list.
    void remove(std::vector<int> rows);
    // Moves the chosen fields at `rows` one place up (-1) or down (+1),
    // together; returns the rows they are at afterwards.
    std::vector<int> move(const std::vector<int>& rows, int delta);
    // Catalogue number of the sort field; 0 only while nothing is chosen.
    int sortField() const { return sortField_; }
    bool descending() const { return descending_; }
    // A sort field picked by hand starts in ascending order.
    void setSortField(int number);
    // A click on the preview's column `column`: that field sorts, a second
    // click reverses. False when the column is no field.
    bool sortByColumn(int column);

    const std::string& delimiterText() const { return delimiterText_; }
    void setDelimiterText(const std::string& text) { delimiterText_ = text; }
    // Only the text file has a delimiter; the tables have their own format.
    bool delimiterEnabled() const;

    const std::string& outputFile() const { return output_; }
    // `confirmed`: chosen in the save dialog, which asked before replacing a
    // file; a typed name is asked about when the file is written.
    void setOutputFile(const std::string& file, bool confirmed);

    // --- Page 3: options -----------------------------------------------------
    bool group = false;
    std::string profile; // an assembler profile's name; empty: the chosen fields
    long multiplier = 1; // boards
    DnpMode dnp = DnpMode::Include;
    bool check = false;

    // --- The work -----------------------------------------------------------
    // The LOM query of the chosen fields and sort field; the delimiter box
    // shows what it used afterwards.
    LomQuery makeQuery();
    // The options of the output as chosen now.
    LomJobOptions job() const;
    bool working() const { return working_; }
    // Cancel: during work it stops the work (and the wizard stays); else the
    // wizard may close (true).
    bool cancel();

    // How a piece of work ended. Failed: no parts, a failure said through
    // the message sink, or a question answered No; Unreadable: the preview's
    // lines could not be read (the caller says so).
    enum class Outcome { Done, Failed, Cancelled, Unreadable };
    // Builds the temporary database unless one for this EID exists.
    Outcome build(ProgressSink& progress, MessageSink& messages);
    // The lines the preview shows (with previewSortColumn()), built first
    // when needed.
    Outcome previewLines(ProgressSink& progress, MessageSink& messages, LomTable& lines);
    int previewSortColumn() const;
    // Next on the last page: asks before replacing a typed file's target,
    // builds when needed, writes the output and keeps the choices. Done: the
    // file is complete and the wizard may close; else every choice stays.
    Outcome finish(ProgressSink& progress, MessageSink& messages);
    // After a finish: how many lines went where, and the check's findings.
    UserMessage writtenReport() const;
    // Why the last build or file failed; empty after success or a cancel.
    const std::string& lastError() const { return lastError_; }
    int buildCount() const { return builds_; }

private:
    void loadFields();
    void restoreOutput();
    void restoreFields();
    void rememberChoices() const;
    void afterListChange();
    BuildResult builtDatabase() const;
    // Work runs between these: working() is true, the cancel flag starts
    // and ends cleared.
    struct Working;

    Step step_ = Step::Eid;
    std::string eid_;
    bool eidUsable_ = false;
    bool eidChecked_ = true; // eidUsable_ says whether eid_ is an EID (not only typed)
    bool fieldsLoaded_ = false;
    std::vector<Field> available_;
    std::vector<Field> chosen_;
    int sortField_ = 0;
    bool descending_ = false;
    std::string delimiterText_ = "|";
    std::string output_;
    bool outputConfirmed_ = true;

    bool working_ = false;
    int builds_ = 0;
    std::vector<char> marked_; // per part of the last build: marked do-not-place
    long builtRows_ = 0;
    std::string lastError_;
    LomJobResult lastWritten_;
    std::string lastOutput_;
    bool lastClassic_ = true;
};

} // namespace rav::lom
