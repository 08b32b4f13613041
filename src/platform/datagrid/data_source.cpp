#include "data_source.h"
#include "db_types.h"

#include "textcodec.h"

namespace rav::grid
{

DataSource::DataSource(QObject* parent)
    : QObject(parent)
{
}

DataSource::~DataSource()
{
    close();
}

void DataSource::close()
{
    const bool wasOpen = rs_ != nullptr || db_ != nullptr;
    rs_.reset();
    db_.reset();
    openedPath_.clear();
    if (wasOpen)
        emit refreshed();
}

bool DataSource::refresh()
{
    lastError_.clear();
    const std::string path = databaseName_.toStdString();
    rs_.reset();
    try {
        if (!db_ || !db_->isOpen() || openedPath_ != path || db_->mode() != mode_) {
            db_.reset();
            openedPath_.clear();
            db_ = std::make_unique<db::Database>(db::Database::open(path, mode_));
            openedPath_ = path;
        }
        rs_ = std::make_unique<db::Recordset>(db_->openRecordset(recordSource_.toStdString()));
    } catch (const std::exception& e) {
        rs_.reset();
        db_.reset();
        openedPath_.clear();
        lastError_ = e.what();
    }
    emit refreshed();
    if (isOpen())
        emit recordChanged();
    return isOpen();
}

bool DataSource::setPosition(long position)
{
    if (!isOpen())
        return false;
    if (rs_->absolutePosition() == position)
        return true;
    if (!rs_->setAbsolutePosition(position))
        return false;
    emit recordChanged();
    return true;
}

namespace
{

// Offset of the last ORDER BY at the top level of a statement (outside
// quotes and brackets), or npos.
std::size_t findOrderBy(const std::string& sql)
{
    std::size_t found = std::string::npos;
    char quote = 0;
    for (std::size_t i = 0; i < sql.size(); ++i) {
        const char c = sql[i];
        if (quote) {
            if (c == quote)
                quote = 0;
            continue;
        }
        if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '[') {
            quote = ']';
        } else if ((i == 0 || sql[i - 1] == ' ' || sql[i - 1] == '\t' || sql[i - 1] == '\n'
                       || sql[i - 1] == '\r' || sql[i - 1] == ')')
            && text::equalsIgnoreCase(sql.substr(i, 5), "order")) {
            std::size_t j = i + 5;
            const std::size_t blanks = j;
            while (j < sql.size() && (sql[j] == ' ' || sql[j] == '\t' || sql[j] == '\n' || sql[j] == '\r'))
                ++j;
            if (j > blanks && text::equalsIgnoreCase(sql.substr(j, 2), "by")
                && (j + 2 == sql.size() || sql[j + 2] == ' ' || sql[j + 2] == '\t' || sql[j + 2] == '['
                    || sql[j + 2] == '\n'))
                found = i;
        }
    }
    return found;
}

} // namespace

std::string withOrderBy(const std::string& recordSource, const std::string& column, bool descending)
{
    std::string sql = text::trimBlanks(recordSource);
    while (!sql.empty()
        && (sql.back() == ';' || sql.back() == ' ' || sql.back() == '\n' || sql.back() == '\r'
            || sql.back() == '\t'))
        sql.pop_back();
    const bool isSelect = text::equalsIgnoreCase(sql.substr(0, 6), "select")
        && (sql.size() == 6 || sql[6] == ' ' || sql[6] == '\t' || sql[6] == '\n' || sql[6] == '\r');
    if (!isSelect) {
        sql = "SELECT * FROM " + db::quoteBracketName(sql);
    } else if (std::size_t at = findOrderBy(sql); at != std::string::npos) {
        sql.erase(at);
        while (!sql.empty()
            && (sql.back() == ' ' || sql.back() == '\t' || sql.back() == '\n' || sql.back() == '\r'))
            sql.pop_back();
    }
    return sql + " ORDER BY " + db::quoteBracketName(column) + (descending ? " DESC" : "") + ";";
}

} // namespace rav::grid
