#include "tools/vtlc/commands.h"

#include "tools/vtlc/apply_command.h"
#include "tools/vtlc/archive_commands.h"
#include "tools/vtlc/palette_command.h"
#include "tools/vtlc/picture_commands.h"
#include "tools/vtlc/thumb_commands.h"

namespace vtl::tools {

const std::map<std::string, Command>& Commands()
{
    static const std::map<std::string, Command> commands = {
        { "info", InfoCommand },
        { "apply", ApplyCommand },
        { "convert", ConvertCommand },
        { "list", ListCommand },
        { "extract", ExtractCommand },
        { "palette", PaletteCommand },
        { "thumbs", ThumbsCommand },
        { "cache", CacheCommand },
    };
    return commands;
}

} // namespace vtl::tools
