# Writes OUT, a C++ file defining ovra::platform::pageFile(name) (pages.h) over the files
# FILES (names separated by commas) of the folder DIR, each file's bytes a string literal
# of hex escapes. Run at build time: cmake -DDIR=... -DFILES=a,b -DOUT=... -P embed_files.cmake
string(REPLACE "," ";" files "${FILES}")
set(literals "")
set(table "")
set(i 0)
foreach(name IN LISTS files)
  file(READ "${DIR}/${name}" hex HEX)
  # 32 bytes a line: a "|" after each 64 hex digits, then every byte an escape.
  string(REGEX REPLACE "(................................................................)" "\\1|"
         hex "${hex}")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" escaped "${hex}")
  string(REPLACE "|" "\"\n    \"" escaped "${escaped}")
  string(APPEND literals "// ${name}\nconstexpr char kFile${i}[] =\n    \"${escaped}\";\n")
  string(APPEND table "    {\"${name}\", {kFile${i}, sizeof kFile${i} - 1}},\n")
  math(EXPR i "${i} + 1")
endforeach()
file(WRITE "${OUT}" "// Generated at build time by embed_files.cmake from ${DIR}: edit those files.
#include \"platform/browser/pages.h\"

namespace ovra::platform {
namespace {

${literals}
struct File {
  std::string_view name, bytes;
};
constexpr File kFiles[] = {
${table}};

}  // namespace

std::string_view pageFile(std::string_view name) {
  for (const File& f : kFiles) {
    if (f.name == name) return f.bytes;
  }
  return {};
}

}  // namespace ovra::platform
")
