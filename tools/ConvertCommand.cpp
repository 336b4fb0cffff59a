// xetetra convert: an A-format recording through the plug-in's processor into a B-format file.

#include "tools/CommandLine.h"
#include "tools/Commands.h"
#include "tools/Converter.h"
#include "tools/DeferredSignals.h"
#include "tools/OutputFile.h"
#include "tools/PrintableText.h"
#include "tools/ProcessorSetup.h"
#include "tools/SoundFile.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr long kDefaultBlock = 4096;
constexpr long kMaxBlock = 1L << 20;

std::string decibels(float peak) {
    if (!(peak > 0.0f)) return "-inf dBFS";
    char text[32];
    std::snprintf(text, sizeof(text), "%.1f dBFS", 20.0 * std::log10(static_cast<double>(peak)));
    return text;
}

} // namespace

int runConvert(int argc, char** argv) {
    const COptionSpec specs[] = {
        CProcessorSetup::kProgramOption,
        CProcessorSetup::kCalibrationsOption,
        CProcessorSetup::kStateOption,
        CProcessorSetup::kSetOption,
        CProcessorSetup::kOrderOption,
        CProcessorSetup::kOrientationOption,
        CProcessorSetup::kInvertOption,
        {"type", "<wav|amb|caf|w64|flac>",
         "output file type; amb is WAVE-EX marked as B-format, FuMa only", "from the output name"},
        {"bits", "<16|24|32|float>", "output sample format (flac holds 16 or 24)",
         "the input's when the type holds it, else 24"},
        {"block", "<frames>", "frames per processing block, 1 to 1048576", "4096"},
        {"force", nullptr, "replace an existing output file (a regular file with no other links)",
         nullptr},
        {"quiet", nullptr, "no progress bar and no summary", nullptr},
    };
    CCommandLine line(
        "convert", "[options] INPUT... OUTPUT",
        "Converts an A-format recording to B-format with the plug-in's processor. INPUT is one\n"
        "4-channel file, two stereo files (capsules 1-2, 3-4) or four mono files (capsules 1 to "
        "4),\n"
        "of equal rate and length. The output has the input's length and alignment: the delay of\n"
        "a correction filter set is compensated. An input that ends before its header says is\n"
        "converted as far as it goes, with a warning and exit status 3.",
        specs);
    int exitCode = kExitSuccess;
    if (!line.start(argc, argv, exitCode)) return exitCode;

    CProcessorSetup setup;
    CConverter::CSettings settings;
    const CFileType* type = nullptr;
    std::string bits;
    bool force = false, quiet = false;
    int status = kExitSuccess;
    for (const CCommandLine::COption& option : line.options()) {
        if (setup.take(line, option, status)) {
            if (status != kExitSuccess) return status;
        } else if (option.is("type")) {
            type = fileTypeByName(option.value);
            if (type == nullptr)
                return line.usageError("--type takes wav, amb, caf, w64 or flac, not '" +
                                       option.value + "'");
        } else if (option.is("bits")) {
            if (sampleFormatByName(option.value) == 0)
                return line.usageError("--bits takes 16, 24, 32 or float, not '" + option.value +
                                       "'");
            bits = option.value;
        } else if (option.is("block")) {
            if (!parseLong(option.value, settings.block) || settings.block < 1 ||
                settings.block > kMaxBlock)
                return line.usageError("--block takes a number of frames from 1 to 1048576, not '" +
                                       option.value + "'");
        } else if (option.is("force")) {
            force = true;
        } else if (option.is("quiet")) {
            quiet = true;
        }
    }

    const std::vector<std::string>& operands = line.operands();
    if (operands.size() < 2) return line.usageError("needs INPUT... OUTPUT");
    const int inputCount = static_cast<int>(operands.size()) - 1;
    if (inputCount != 1 && inputCount != 2 && inputCount != 4)
        return line.usageError("takes one 4-channel, two stereo or four mono inputs, not " +
                               std::to_string(inputCount) + " inputs");
    const std::string& outputPath = operands.back();
    const std::vector<std::string> inputPaths(operands.begin(), operands.end() - 1);
    if (type == nullptr) type = fileTypeOfPath(outputPath);
    if (type == nullptr)
        return line.usageError("cannot tell the file type of '" + outputPath +
                               "': name it .wav, .amb, .caf, .w64 or .flac, or use --type");
    // The output format, checked before any file is touched.
    const int requested = bits.empty() ? 0 : sampleFormatByName(bits);
    if (requested != 0) {
        SF_INFO probe = {};
        probe.samplerate = 48000;
        probe.channels = 4;
        probe.format = type->majorFormat | requested;
        if (!sf_format_check(&probe))
            return line.usageError(std::string(type->name) + " files cannot hold " + bits +
                                   (bits == "float" ? "" : "-bit") + " samples");
    }

    CSoundFile inputs[4];
    const int channelsEach = 4 / inputCount;
    for (int f = 0; f < inputCount; ++f) {
        if (!inputs[f].openForReading(inputPaths[static_cast<size_t>(f)])) return kExitFailure;
        const SF_INFO& info = inputs[f].info();
        // A stream of unknown length cannot be checked against the others.
        if (info.frames < 0 || info.frames == SF_COUNT_MAX)
            return fileError(inputs[f].path(), "its length is unknown (not a regular file?)");
        if (info.channels != channelsEach) {
            const char* layout = inputCount == 1   ? "a single input must have 4"
                                 : inputCount == 2 ? "two inputs must have 2 each"
                                                   : "four inputs must have 1 each";
            return fileError(inputs[f].path(),
                             "has " + std::to_string(info.channels) + " channels; " + layout);
        }
        if (f == 0) continue;
        const SF_INFO& first = inputs[0].info();
        if (info.samplerate != first.samplerate)
            return fileError(inputs[f].path(), "sample rate " + std::to_string(info.samplerate) +
                                                   " Hz differs from " +
                                                   std::to_string(first.samplerate) + " Hz of " +
                                                   inputs[0].path());
        // A shorter input that ends before its header says is converted as far as it goes.
        const CSoundFile& shorter = info.frames < first.frames ? inputs[f] : inputs[0];
        if (info.frames != first.frames && shorter.missingBytes() == 0)
            return fileError(inputs[f].path(),
                             "length " + std::to_string(info.frames) + " frames differs from " +
                                 std::to_string(first.frames) + " frames of " + inputs[0].path());
    }
    const SF_INFO& source = inputs[0].info();

    SF_INFO format = {};
    format.samplerate = source.samplerate;
    format.channels = 4;
    format.format = type->majorFormat | requested;
    if (requested == 0) {
        // The input's sample format where the type can hold it, else 24 bits.
        const int inputFormat = sampleFormatByName(sampleFormatName(source.format));
        format.format = type->majorFormat | (inputFormat != 0 ? inputFormat : SF_FORMAT_PCM_24);
        if (!sf_format_check(&format)) format.format = type->majorFormat | SF_FORMAT_PCM_24;
    }
    if (!sf_format_check(&format))
        return fileError(outputPath, std::string("a ") + type->name + " file cannot hold " +
                                         std::to_string(source.samplerate) + " Hz");

    // Checked before the processor exists, so that the refusals come quickly and alone.
    CDeferredSignals signals;
    COutputFile output(outputPath, force);
    if (!output.checkDestination(inputPaths)) return kExitFailure;

    std::unique_ptr<AXeTetra> processor =
        setup.build(line, static_cast<float>(source.samplerate), status);
    if (!processor) return status;
    // What the outputs are, for the summary, before the processor is split.
    const COutputFormat outputFormat = processor->GetOutputFormat();
    // The order may come from the program or a saved state as well as from --order.
    if (outputFormat.ambix && type->majorFormat == SF_FORMAT_WAVEX)
        return line.usageError("amb files hold FuMa B-format, but the output order is ambiX: use "
                               "--order fuma or another type");

    if (!output.create()) return kExitFailure;
    CSoundFile writer;
    if (!writer.openForWriting(output.descriptor(), outputPath, format)) return kExitFailure;
    if (type->majorFormat == SF_FORMAT_WAVEX &&
        sf_command(writer.handle(), SFC_WAVEX_SET_AMBISONIC, nullptr, SF_AMBISONIC_B_FORMAT) !=
            SF_AMBISONIC_B_FORMAT)
        return fileError(outputPath, "cannot mark the file as B-format");
    settings.clipping = isIntegerFormat(format.format);
    // Without clipping libsndfile wraps samples beyond full scale around.
    if (settings.clipping) sf_command(writer.handle(), SFC_SET_CLIPPING, nullptr, SF_TRUE);
    settings.progress = !quiet;

    const auto start = std::chrono::steady_clock::now();
    // What the program selects, for the summary, before the processor is split.
    const std::string programName = setup.programName(*processor);
    const char* setName = processor->GetPostMatrixSetName(processor->GetCoincidenceFilter());
    const std::string postMatrixSet = setName != nullptr ? setName : "";
    const long latency = processor->GetPostMatrixLatency();
    std::vector<AXeTetra*> chain{processor.get()};
    const std::unique_ptr<AXeTetra> postMatrix =
        setup.splitAtPostMatrix(*processor, line, static_cast<float>(source.samplerate));
    if (postMatrix) chain.push_back(postMatrix.get());
    CConverter converter(inputs, inputCount, chain, writer, settings);
    if (!converter.run(signals)) return kExitFailure;
    if (!writer.close() || !output.commit()) return kExitFailure;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    if (converter.clippedSamples() > 0)
        std::fprintf(stderr, "xetetra: warning: %s: %lld samples clipped at full scale\n",
                     outputPath.c_str(), converter.clippedSamples());
    // An input that ends early is converted as far as it goes, and says so in its exit status.
    int result = kExitSuccess;
    for (int f = 0; f < inputCount; ++f) {
        if (inputs[f].missingBytes() == 0) continue;
        std::fprintf(stderr,
                     "xetetra: warning: %s: ends early: its header announces %lld bytes more "
                     "than the file holds; converted the %lld frames it has\n",
                     inputs[f].path().c_str(), inputs[f].missingBytes(),
                     static_cast<long long>(inputs[f].info().frames));
        result = kExitEndedEarly;
    }
    if (!converter.endedEarly().empty()) {
        const std::string& reason = converter.endedEarlyReason();
        std::fprintf(stderr,
                     "xetetra: warning: %s: ends early: %lld of the %lld frames its header "
                     "announces could be read%s%s%s; converted those\n",
                     converter.endedEarly().c_str(), converter.endedEarlyAt(),
                     converter.announcedFrames(), reason.empty() ? "" : " (", reason.c_str(),
                     reason.empty() ? "" : ")");
        result = kExitEndedEarly;
    }
    if (quiet) return result;
    const double duration = static_cast<double>(converter.frames()) / source.samplerate;
    const std::string sampleFormat = sampleFormatName(format.format);
    std::printf("%s: %.3f s at %d Hz, %s %s%s, %s\n", outputPath.c_str(), duration,
                source.samplerate, type->name, sampleFormat.c_str(),
                sampleFormat == "float" ? "" : "-bit",
                outputFormat.ambix ? "ambiX (W Y Z X, SN3D)" : "FuMa (W X Y Z)");
    std::printf("  program %d \"%s\", post-matrix set \"%s\", latency %ld samples compensated\n",
                setup.programNumber(), terminalText(programName).c_str(),
                terminalText(postMatrixSet).c_str(), latency);
    const std::string orientation = outputFormat.describeOrientation();
    if (!orientation.empty()) std::printf("  orientation: %s\n", orientation.c_str());
    std::printf("  peak:");
    for (int k = 0; k < 4; ++k)
        std::printf("  %s %s", outputFormat.componentName(k), decibels(converter.peak(k)).c_str());
    std::printf("\n  speed: %.1fx real time (%.2f s)\n", seconds > 0.0 ? duration / seconds : 0.0,
                seconds);
    return result;
}
