#!/usr/bin/env bash
# Fails when product code reads, changes or lists files, or reads the clock, other than through
# the file layer (store/files/): failure injection and the killed-run walks reach only its calls.
# Queries of a name (exists, is_directory, file_size) are not file calls and stay allowed.
set -euo pipefail
cd "$1"
pattern='fs::(remove|remove_all|copy_file|copy|rename|create_directory|create_directories|resize_file|directory_iterator|recursive_directory_iterator|last_write_time)\b|std::filesystem::(remove|remove_all|copy_file|copy|rename|create_director|directory_iterator|recursive_directory_iterator)|std::[io]?fstream|\bfopen\(|std::localtime|std::time\(|::time\('
found=$(grep -rnE "$pattern" store toworkdb toxml shell cli --include='*.cpp' --include='*.h' | grep -v '^store/files/' || true)
if [ -n "$found" ]; then
    echo "File or clock calls outside the file layer (store/files/file_io.h):"
    echo "$found"
    exit 1
fi
