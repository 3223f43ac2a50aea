// Any statement text, handed to the dialect translator: it gives a statement (changed or not) and
// never reads outside the text it was given.

#include "store/SqlDialect.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string statement(reinterpret_cast<const char*>(data), size);
    const vesk::store::TranslatedSql translated = vesk::store::TranslateSql(statement);
    // What it gives is a statement in its own right.
    (void)vesk::store::TranslateSql(translated.sql);
    return 0;
}
