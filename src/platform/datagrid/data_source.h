// The data source of a bound grid: a database file, a record source (a
// table name or a SELECT in the editor's dialect) and the dynaset opened
// over it. Grids bind to it through DataGridModel; windows point it at a
// file and a query and refresh it.
//
// States: Closed (no record set) -> refresh() succeeds -> Open. A failing
// refresh() leaves it Closed with lastError() set; close() returns to
// Closed. Changing the database name closes the database at the next
// refresh, so the file is released as soon as a grid moves elsewhere.
//
// Threading: belongs to the thread that created it (the window thread).
// Ownership: owns the database connection and the record set.
#pragma once

#include "database.h"
#include "recordset.h"

#include <QObject>
#include <QString>

#include <memory>
#include <string>

namespace rav::grid
{

class DataSource : public QObject
{
    Q_OBJECT
public:
    explicit DataSource(QObject* parent = nullptr);
    ~DataSource() override;

    QString databaseName() const { return databaseName_; }
    void setDatabaseName(const QString& name) { databaseName_ = name; }
    QString recordSource() const { return recordSource_; }
    void setRecordSource(const QString& source) { recordSource_ = source; }
    // How the file is opened at the next refresh (shared by default).
    db::OpenMode openMode() const { return mode_; }
    void setOpenMode(db::OpenMode mode) { mode_ = mode; }

    // Opens (or re-opens) the database and the record set of the record
    // source; the current record is the first one. Emits refreshed() either
    // way, so bound grids reload (empty after a failure). Returns false on
    // failure, with the engine's description in lastError(); never throws.
    bool refresh();
    void close();

    bool isOpen() const { return rs_ && rs_->isOpen(); }
    const std::string& lastError() const { return lastError_; }

    // The open record set and database; nullptr while Closed.
    db::Recordset* recordset() { return isOpen() ? rs_.get() : nullptr; }
    const db::Recordset* recordset() const { return isOpen() ? rs_.get() : nullptr; }
    db::Database* database() { return db_ && db_->isOpen() ? db_.get() : nullptr; }

    long recordCount() const { return isOpen() ? rs_->recordCount() : 0; }
    // The current record, 0-based; -1 when there is none.
    long position() const { return isOpen() ? rs_->absolutePosition() : -1; }
    // Moves the current record. Emits recordChanged() when it moved;
    // a position out of range changes nothing and returns false.
    bool setPosition(long position);
    // Lets a caller that changed the record set directly tell the grids.
    void notifyRecordChanged() { emit recordChanged(); }

signals:
    // A new record set (or none, after a failed refresh or a close).
    void refreshed();
    // The current record changed.
    void recordChanged();

private:
    QString databaseName_;
    QString recordSource_;
    db::OpenMode mode_ = db::OpenMode::Shared;
    std::string openedPath_; // the file db_ holds, to re-use it across refreshes
    std::unique_ptr<db::Database> db_;
    std::unique_ptr<db::Recordset> rs_;
    std::string lastError_;
};

// A record source with its ORDER BY replaced by one key: `column` (a field
// name, written bracketed) ascending or descending. A plain table name
// becomes SELECT * FROM it. Quoted texts and bracketed names are skipped
// when looking for the existing ORDER BY.
std::string withOrderBy(const std::string& recordSource, const std::string& column, bool descending);

} // namespace rav::grid
