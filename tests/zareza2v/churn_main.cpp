// Test helper: flips every device text of a project between two known texts,
// round after round, until killed. After each completed change it prints the
// number of changes so far, so the test knows the series is under way.
#include "zareza2v.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 2 || !Z_OpenProject(argv[1])) {
        std::fprintf(
            stderr, "zareza2v_churn: %s\n", argc == 2 ? Z_LastError() : "usage: zareza2v_churn FILE");
        return 1;
    }
    std::vector<std::int32_t> devices;
    std::int32_t map = DB_DeviceMap(), cursor = OM_GetFirst(map);
    for (std::int32_t d; (d = OM_SearchMask(map, &cursor, 0, 0)) > 0;)
        devices.push_back(d);
    for (long change = 0;; ++change) {
        const std::size_t i = static_cast<std::size_t>(change) % devices.size();
        const bool toNew = (change / static_cast<long>(devices.size())) % 2 == 0;
        Z_DeviceRecord r {};
        if (!D_ReadDevice(devices[i], &r))
            return 2;
        const std::string text = "PKG" + std::to_string(i) + (toNew ? " New\x80NEW-" : " Old\x80OLD-")
            + std::to_string(i) + std::string(200, toNew ? 'n' : 'o');
        if (!D_ChangeDevice(devices[i], r.library, text.c_str())) {
            std::fprintf(stderr, "zareza2v_churn: %s\n", Z_LastError());
            return 3;
        }
        std::printf("%ld\n", change + 1);
        std::fflush(stdout);
    }
}
