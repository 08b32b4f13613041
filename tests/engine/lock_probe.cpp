// engine_lock_probe probe|hold shared|exclusive FILE
//   probe: exits 0 when the open succeeds, 3 when it fails.
//   hold:  opens, prints "ready", keeps the file open until stdin closes.
#include "database.h"

#include <cstring>
#include <iostream>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 4)
        return 2;
    const std::string action = argv[1];
    const auto mode
        = std::strcmp(argv[2], "exclusive") == 0 ? rav::db::OpenMode::Exclusive : rav::db::OpenMode::Shared;
    try {
        rav::db::Database db = rav::db::Database::open(argv[3], mode);
        if (action == "hold") {
            std::cout << "ready" << std::endl;
            std::string line;
            while (std::getline(std::cin, line)) { }
        }
        return 0;
    } catch (const rav::db::Error& e) {
        std::cout << "failed: " << e.what() << std::endl;
        return 3;
    }
}
