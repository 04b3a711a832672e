#include "app/cli/cli_options.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>

#include "codecs/output_format.h"

namespace tonalda::cli {
namespace {

template <typename Number>
std::optional<Number> parseNumber(std::string_view text) {
    Number value{};
    const auto* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}

std::string lowerCase(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

// Highest track number a disc can have.
constexpr int kMaxTrackNumber = 99;

struct FlagReader {
    const std::vector<std::string>& arguments;
    std::size_t index;
    std::string error;

    // The value after the flag at index, or nullopt (with the error set) when there is none.
    std::optional<std::string> value() {
        if (index + 1 >= arguments.size()) {
            error = arguments[index] + " needs a value";
            return std::nullopt;
        }
        return arguments[++index];
    }
};

std::optional<Command> commandNamed(std::string_view name) {
    if (name == "drives")
        return Command::Drives;
    if (name == "toc")
        return Command::Toc;
    if (name == "rip")
        return Command::Rip;
    if (name == "convert")
        return Command::Convert;
    if (name == "lookup")
        return Command::Lookup;
    if (name == "library")
        return Command::Library;
    if (name == "submit")
        return Command::Submit;
    if (name == "help" || name == "--help" || name == "-h")
        return Command::Help;
    return std::nullopt;
}

std::optional<LibraryOperation> libraryOperationNamed(std::string_view name) {
    if (name == "read")
        return LibraryOperation::Read;
    if (name == "save")
        return LibraryOperation::Save;
    if (name == "ini-read")
        return LibraryOperation::IniRead;
    if (name == "ini-write")
        return LibraryOperation::IniWrite;
    return std::nullopt;
}

// Which flags each command takes.
bool accepts(Command command, std::string_view flag) {
    const bool drive = command == Command::Toc || command == Command::Rip ||
                       command == Command::Lookup || command == Command::Library ||
                       command == Command::Submit;
    if (flag == "--unit")
        return drive;
    if (flag == "--json")
        return command == Command::Toc || command == Command::Lookup;
    if (flag == "--save")
        return command == Command::Lookup;
    if (flag == "--test")
        return command == Command::Submit;
    if (flag == "--tracks" || flag == "--segment")
        return command == Command::Rip;
    if (flag == "--format" || flag == "--out")
        return command == Command::Rip || command == Command::Convert;
    return false;
}

}  // namespace

std::optional<std::set<int>> parseTrackSelection(std::string_view text) {
    if (text == "all")
        return std::set<int>{};
    std::set<int> tracks;
    while (true) {
        const auto comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        const auto dash = item.find('-');
        const auto first = parseNumber<int>(item.substr(0, dash));
        const auto last =
            dash == std::string_view::npos ? first : parseNumber<int>(item.substr(dash + 1));
        if (!first || !last || *first < 1 || *last < *first || *last > kMaxTrackNumber)
            return std::nullopt;
        for (int track = *first; track <= *last; ++track)
            tracks.insert(track);
        if (comma == std::string_view::npos)
            return tracks;
        text.remove_prefix(comma + 1);
    }
}

std::optional<FrameRange> parseSegment(std::string_view text) {
    const auto dash = text.find('-');
    if (dash == std::string_view::npos)
        return std::nullopt;
    const auto start = parseNumber<std::uint32_t>(text.substr(0, dash));
    const auto end = parseNumber<std::uint32_t>(text.substr(dash + 1));
    if (!start || !end || *end < *start)
        return std::nullopt;
    return FrameRange{*start, *end};
}

std::optional<std::int32_t> parseFormat(std::string_view text) {
    const std::string name = "." + lowerCase(text);
    for (std::int32_t position = 0; isOutputFormat(position); ++position)
        if (outputFormatExtension(position) == name)
            return position;
    return std::nullopt;
}

ParseResult parseCommandLine(const std::vector<std::string>& arguments) {
    if (arguments.empty())
        return {std::nullopt, "no command given"};
    const auto command = commandNamed(arguments[0]);
    if (!command)
        return {std::nullopt, "unknown command \"" + arguments[0] + "\""};
    CliOptions options;
    options.command = *command;
    if (options.command == Command::Help)
        return {options, {}};

    std::size_t index = 1;
    if (options.command == Command::Library) {
        const auto operation =
            index < arguments.size() ? libraryOperationNamed(arguments[index]) : std::nullopt;
        if (!operation)
            return {std::nullopt, "library needs one of read, save, ini-read, ini-write"};
        options.library = *operation;
        ++index;
    }

    FlagReader reader{arguments, index, {}};
    for (; reader.index < arguments.size(); ++reader.index) {
        const std::string& argument = arguments[reader.index];
        if (argument == "--help" || argument == "-h") {
            options.command = Command::Help;
            return {options, {}};
        }
        if (argument.starts_with("--") && !accepts(options.command, argument))
            return {std::nullopt, "unknown option " + argument + " for " + arguments[0]};
        if (argument == "--json") {
            options.json = true;
        } else if (argument == "--save") {
            options.save = true;
        } else if (argument == "--test") {
            options.test = true;
        } else if (argument == "--unit") {
            const auto value = reader.value();
            const auto unit = value ? parseNumber<std::int32_t>(*value) : std::nullopt;
            if (!unit || *unit < 0)
                return {std::nullopt,
                        value ? "--unit takes a drive number (0, 1, ...)" : reader.error};
            options.unit = *unit;
        } else if (argument == "--tracks") {
            const auto value = reader.value();
            const auto tracks = value ? parseTrackSelection(*value) : std::nullopt;
            if (!tracks)
                return {std::nullopt,
                        value ? "--tracks takes all or a list like 1,3-5" : reader.error};
            options.tracks = *tracks;
        } else if (argument == "--segment") {
            const auto value = reader.value();
            options.segment = value ? parseSegment(*value) : std::nullopt;
            if (!options.segment)
                return {std::nullopt, value ? "--segment takes FIRST-LAST frames, LAST not "
                                              "below FIRST"
                                            : reader.error};
        } else if (argument == "--format") {
            const auto value = reader.value();
            options.format = value ? parseFormat(*value) : std::nullopt;
            if (!options.format || (options.command == Command::Convert && *options.format == 0))
                return {std::nullopt,
                        value ? "--format takes " + std::string(options.command == Command::Convert
                                                                    ? "mp3, wma or ogg"
                                                                    : "wav, mp3, wma or ogg")
                              : reader.error};
        } else if (argument == "--out") {
            const auto value = reader.value();
            if (!value || value->empty())
                return {std::nullopt, value ? "--out takes a folder" : reader.error};
            options.outFolder = *value;
        } else if (options.command == Command::Convert && !argument.starts_with("--")) {
            options.files.push_back(argument);
        } else {
            return {std::nullopt, "unexpected argument \"" + argument + "\" for " + arguments[0]};
        }
    }

    if (options.command == Command::Convert) {
        if (!options.format)
            return {std::nullopt, "convert needs --format mp3, wma or ogg"};
        if (options.files.empty())
            return {std::nullopt, "convert needs at least one WAV file"};
    }
    if (options.command == Command::Rip && options.segment && !options.tracks.empty())
        return {std::nullopt, "rip takes either --tracks or --segment"};
    return {options, {}};
}

std::string usageText() {
    return "Usage: tonalda-cli COMMAND [OPTIONS]\n"
           "Rips, converts and looks up audio CDs with the settings of Tonalda's hive\n"
           "($TONALDA_HIVE, else $XDG_CONFIG_HOME/tonalda/registry.reg). Options override the\n"
           "settings for this run only; they are never saved.\n"
           "\n"
           "Commands:\n"
           "  drives                         list the CD-ROM drives: unit number and name\n"
           "  toc [--unit N] [--json]        the disc's track list, disc ID and player key\n"
           "  rip [--unit N] [--tracks all|1,3-5] [--segment FIRST-LAST]\n"
           "      [--format wav|mp3|wma|ogg] [--out DIR]\n"
           "                                 rip tracks (all by default) or the frames\n"
           "                                 FIRST to LAST (LAST not included) into one file\n"
           "  convert --format mp3|wma|ogg [--out DIR] FILE...\n"
           "                                 convert WAV files\n"
           "  lookup [--unit N] [--json] [--save]\n"
           "                                 look the disc up on the CDDB server; --save keeps\n"
           "                                 the result in the local CD library\n"
           "  library read|save|ini-read|ini-write [--unit N]\n"
           "                                 read or save the disc in the local CD library, or\n"
           "                                 read or write its entry in cdplayer.ini\n"
           "  submit [--unit N] [--test]     submit the disc as the local CD library holds it\n"
           "                                 to the CDDB server; --test has the server check\n"
           "                                 the entry without keeping it\n"
           "  help, --help                   this text\n"
           "\n"
           "Ctrl-C cancels a rip or conversion: the job stops at its next block and removes\n"
           "its partial files. It ends a lookup or submission at once.\n"
           "Exit status: 0 when everything ended well, 1 when something failed or was\n"
           "canceled, 2 for a wrong command line.\n";
}

}  // namespace tonalda::cli
