// Fills the demo EID from its readable text (examples/demo-eid.txt): one
// record per non-blank line, values separated by ';' in column order.
// The build runs it after `ravederi eid create` made the empty EID.
//
//   demo_eid_fill EID TEXT
#include "database.h"
#include "recordset.h"

#include <fstream>
#include <iostream>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: demo_eid_fill EID TEXT\n";
        return 2;
    }
    std::ifstream in(argv[2], std::ios::binary);
    if (!in) {
        std::cerr << "demo_eid_fill: cannot read " << argv[2] << '\n';
        return 1;
    }
    try {
        rav::db::Database eid = rav::db::Database::open(argv[1], rav::db::OpenMode::Exclusive);
        rav::db::Transaction transaction(eid);
        rav::db::Recordset rs = eid.openRecordset("Device");
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (line.find_first_not_of(' ') == std::string::npos)
                continue;
            rs.addNew();
            std::size_t start = 0;
            for (int column = 0; column < rs.fieldCount(); ++column) {
                const std::size_t end = line.find(';', start);
                rs.setValue(
                    column, line.substr(start, end == std::string::npos ? std::string::npos : end - start));
                if (end == std::string::npos)
                    break;
                start = end + 1;
            }
            rs.update();
        }
        transaction.commit();
    } catch (const std::exception& e) {
        std::cerr << "demo_eid_fill: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
