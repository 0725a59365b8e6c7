# Sourced by the package checks. make_package BUILD GENERATOR WORK: runs cpack of the
# build folder into WORK/out, unpacks the one package into the empty folder
# WORK/unpacked and sets package (its path) and top (the one folder it holds).
make_package() {
  local build=$1 generator=$2 out=$3/out
  rm -rf "$3"
  mkdir -p "$out" "$3/unpacked"
  (cd "$3" && cpack -G "$generator" --config "$build/CPackConfig.cmake" -B "$out" >"$3/cpack.log" 2>&1) ||
    { cat "$3/cpack.log"; fail "cpack failed"; return 1; }
  local made
  made=$(find "$out" -maxdepth 1 -type f \( -name '*.zip' -o -name '*.tar.gz' \))
  [ "$(echo "$made" | wc -l)" = 1 ] && [ -n "$made" ] || { fail "cpack made: [$made]"; return 1; }
  package=$made
  [ -z "$(ls -A "$3/unpacked")" ] || { fail "the folder to unpack into is not empty"; return 1; }
  (cd "$3/unpacked" && cmake -E tar xf "$package") || { fail "unpacking $package failed"; return 1; }
  local entries
  entries=$(ls -A "$3/unpacked")
  [ "$(echo "$entries" | wc -l)" = 1 ] && [ -d "$3/unpacked/$entries" ] ||
    { fail "the package does not hold one folder: $entries"; return 1; }
  top=$3/unpacked/$entries
}

# The files under folder $1, relative, sorted, on one line.
file_list() { (cd "$1" && find . -type f | LC_ALL=C sort | tr '\n' ' '); }

# The version the program states (app/app_constants.h of source folder $1).
source_version() { sed -n 's/.*kVersion\[\] = "\([0-9.]*\)".*/\1/p' "$1/app/app_constants.h"; }
