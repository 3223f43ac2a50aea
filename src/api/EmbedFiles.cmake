# Writes OUTPUT, a C++ source holding the files of FILES ("file|path|content type,...", files
# relative to SOURCE) as byte arrays and EmbeddedFiles(), the table the server answers from.
string(REPLACE "," ";" FILES "${FILES}") # items come joined by commas
set(arrays "")
set(entries "")
set(n 0)
foreach(item IN LISTS FILES)
    string(REPLACE "|" ";" parts "${item}")
    list(GET parts 0 file)
    list(GET parts 1 path)
    list(GET parts 2 type)
    file(READ "${SOURCE}/${file}" hex HEX)
    string(LENGTH "${hex}" length)
    math(EXPR size "${length} / 2")
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    string(APPEND arrays "const unsigned char kFile${n}[] = {${bytes}0};\n")
    string(APPEND entries "        {\"${path}\", \"${type}\", {reinterpret_cast<const char*>(kFile${n}), ${size}}},\n")
    math(EXPR n "${n} + 1")
endforeach()
file(WRITE "${OUTPUT}.new" "// Generated from the files of src/api by EmbedFiles.cmake.
#include \"api/EmbeddedFiles.h\"

namespace vesk::api {
namespace {
${arrays}} // namespace

std::vector<StaticFile> EmbeddedFiles()
{
    return {
${entries}    };
}

} // namespace vesk::api
")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
