#include "app/cli_render.h"

#include "app/song_loader.h"
#include "model/song.h"
#include "playback/play_timeline.h"
#include "playback/render.h"

#include <charconv>
#include <string>

namespace pokopen {

namespace {

bool parseInt(const std::string& value, int& out) {
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), out);
    return ec == std::errc() && end == value.data() + value.size();
}

// "1,3,10": part numbers 1..16 as a channel mask.
bool parseParts(const std::string& value, std::uint16_t& mask) {
    std::size_t at = 0;
    while (at <= value.size()) {
        const std::size_t comma = std::min(value.find(',', at), value.size());
        int part = 0;
        if (!parseInt(value.substr(at, comma - at), part) || part < 1 || part > PART_ROWS)
            return false;
        mask = static_cast<std::uint16_t>(mask | (1u << (part - 1)));
        at = comma + 1;
    }
    return true;
}

} // namespace

int runRenderCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    (void)out;
    RenderOptions options;
    int from = 0;
    int to = 0;
    std::vector<std::string> files;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--no-normalize") {
            options.normalize = false;
            continue;
        }
        const bool takesValue = a == "--soundfont" || a == "--rate" || a == "--mute" || a == "--solo" ||
                                a == "--tempo" || a == "--from" || a == "--to";
        if (a.starts_with("--") && (!takesValue || i + 1 >= args.size()))
            return -1; // wrong usage: the caller prints the usage
        if (!takesValue) {
            files.push_back(a);
            continue;
        }
        const std::string& value = args[++i];
        int number = 0;
        const auto refuse = [&err, &a, &value](const std::string& what) {
            err << "pokopen-cli: " << a << ": " << value << ": " << what << "\n";
            return 2;
        };
        if (a == "--soundfont") {
            options.soundFont = value;
        } else if (a == "--rate") {
            if (!parseInt(value, number) || number < MIN_RENDER_RATE || number > MAX_RENDER_RATE)
                return refuse("not a sample rate in " + std::to_string(MIN_RENDER_RATE) + ".." +
                              std::to_string(MAX_RENDER_RATE));
            options.sampleRate = number;
        } else if (a == "--mute" || a == "--solo") {
            if (!parseParts(value, a == "--mute" ? options.practice.muted : options.practice.soloed))
                return refuse("not part numbers in 1..16");
        } else if (a == "--tempo") {
            if (!parseInt(value, number) || number < MIN_TEMPO_PERCENT || number > MAX_TEMPO_PERCENT)
                return refuse("not a tempo in " + std::to_string(MIN_TEMPO_PERCENT) + ".." +
                              std::to_string(MAX_TEMPO_PERCENT) + " percent");
            options.practice.tempoPercent = number;
        } else {
            if (!parseInt(value, number) || number < 1 || number > MAX_MEASURES)
                return refuse("not a measure in 1.." + std::to_string(MAX_MEASURES));
            (a == "--from" ? from : to) = number;
        }
    }
    if (files.size() != 2)
        return -1;
    if (from > 0 && to > 0 && to < from) {
        err << "pokopen-cli: --to " << to << " is before --from " << from << "\n";
        return 2;
    }
    Song song;
    if (!loadSongForCli(files[0], song, err))
        return 1;
    // Measures as the player starts them: at the first tick of --from, to the end of --to.
    const PlayTimeline timeline(song);
    if (from > 0)
        options.fromUs = timeline.tickToUs(timeline.measureStartTick(from - 1));
    if (to > 0)
        options.toUs = timeline.tickToUs(timeline.measureStartTick(to));
    const RenderResult r = renderSongToWav(song, options, files[1]);
    if (!r.ok) {
        err << "pokopen-cli: " << (r.file.empty() ? files[0] : r.file) << ": " << r.message << "\n";
        return 1;
    }
    return 0;
}

} // namespace pokopen
