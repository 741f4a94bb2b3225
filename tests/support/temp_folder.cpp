#include "temp_folder.h"

#include <cerrno>
#include <cstdlib>
#include <system_error>

TempFolder::TempFolder(const std::string& prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr) {
        ADD_FAILURE() << "cannot make a temporary folder " << pattern << ": "
                      << std::generic_category().message(errno);
        return;
    }
    path_ = pattern;
}

TempFolder::~TempFolder() {
    if (!path_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
}
