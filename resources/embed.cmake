# Writes a C++ source that holds each image of TABLE ("id,file,id,file,...", files in
# SOURCE_DIR) as a byte array, and resourcePng(id) to find them. Run with cmake -P.
string(REPLACE "," ";" table "${TABLE}")
list(LENGTH table n)
set(arrays "")
set(entries "")
set(i 0)
while(i LESS n)
  list(GET table ${i} id)
  math(EXPR j "${i} + 1")
  list(GET table ${j} file)
  file(READ ${SOURCE_DIR}/${file} hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND arrays "// ${file}\nconst std::uint8_t kImage${id}[] = {${bytes}};\n")
  string(APPEND entries "    {${id}, kImage${id}, sizeof kImage${id}},\n")
  math(EXPR i "${i} + 2")
endwhile()
file(WRITE ${OUTPUT}.tmp "// Generated from resources/*.png by resources/embed.cmake; do not edit.
#include \"resources/resources.h\"

#include <cstddef>

namespace quorel {

namespace {

${arrays}
struct Entry {
    int id;
    const std::uint8_t* data;
    std::size_t size;
};

const Entry kEntries[] = {
${entries}};

}  // namespace

std::span<const std::uint8_t> resourcePng(int id) {
    for (const Entry& e : kEntries) {
        if (e.id == id) return {e.data, e.size};
    }
    return {};
}

std::vector<int> resourceIds() {
    std::vector<int> ids;
    for (const Entry& e : kEntries) ids.push_back(e.id);
    return ids;
}

}  // namespace quorel
")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
