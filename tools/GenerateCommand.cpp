// xetetra generate: an A-format test recording of one source from a known direction.

#include "tools/CommandLine.h"
#include "tools/Commands.h"
#include "tools/OutputFile.h"
#include "tools/SoundFile.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {
// Capsule directions of the array, in the order the matrix expects them: front-left-up,
// front-right-down, back-left-down, back-right-up.
const double kCapsules[4][3] = {{1, 1, 1}, {1, -1, -1}, {-1, 1, -1}, {-1, -1, 1}};
constexpr long kBlock = 4096;
} // namespace

int runGenerate(int argc, char** argv) {
    const COptionSpec specs[] = {
        {"signal", "<tone|noise>", "a sine tone, or white noise from a fixed seed", "tone"},
        {"frequency", "<hz>", "frequency of the tone", "1000"},
        {"level", "<dbfs>", "peak level of the source at the front of a capsule", "-12"},
        {"azimuth", "<degrees>", "direction of the source, counter-clockwise from the front", "45"},
        {"elevation", "<degrees>", "direction of the source above the horizontal", "0"},
        {"seconds", "<s>", "length", "5"},
        {"rate", "<hz>", "sample rate", "48000"},
        {"type", "<wav|caf|w64|flac>", "output file type", "from the output name"},
        {"bits", "<16|24|32|float>", "sample format", "24"},
        {"force", nullptr, "replace an existing output file (a regular file with no other links)",
         nullptr},
    };
    CCommandLine line(
        "generate", "[options] OUTPUT",
        "Writes a 4-channel A-format recording of a source from a direction, as four ideal\n"
        "cardioid capsules of a coincident tetrahedral array would pick it up (capsules 1 to 4:\n"
        "front-left-up, front-right-down, back-left-down, back-right-up).",
        specs);
    int exitCode = kExitSuccess;
    if (!line.start(argc, argv, exitCode)) return exitCode;
    bool noise = false, force = false;
    double frequency = 1000.0, level = -12.0, azimuth = 45.0, elevation = 0.0, seconds = 5.0,
           rate = 48000.0;
    const CFileType* type = nullptr;
    int bits = SF_FORMAT_PCM_24;
    for (const CCommandLine::COption& option : line.options()) {
        const std::string& v = option.value;
        if (option.is("signal")) {
            if (v != "tone" && v != "noise")
                return line.usageError("--signal takes tone or noise, not '" + v + "'");
            noise = v == "noise";
        } else if (option.is("frequency")) {
            if (!parseDouble(v, frequency) || frequency <= 0.0)
                return line.usageError("--frequency takes a positive number, not '" + v + "'");
        } else if (option.is("level")) {
            if (!parseDouble(v, level) || level > 0.0)
                return line.usageError("--level takes dBFS of 0 or less, not '" + v + "'");
        } else if (option.is("azimuth")) {
            if (!parseDouble(v, azimuth))
                return line.usageError("--azimuth takes degrees, not '" + v + "'");
        } else if (option.is("elevation")) {
            if (!parseDouble(v, elevation) || elevation < -90.0 || elevation > 90.0)
                return line.usageError("--elevation takes -90 to 90 degrees, not '" + v + "'");
        } else if (option.is("seconds")) {
            if (!parseDouble(v, seconds) || seconds < 0.0 || seconds > 86400.0)
                return line.usageError("--seconds takes 0 to 86400, not '" + v + "'");
        } else if (option.is("rate")) {
            if (!parseDouble(v, rate) || rate < 1000.0 || rate > 768000.0 ||
                rate != std::floor(rate))
                return line.usageError("--rate takes a whole rate from 1000 to 768000 Hz, not '" +
                                       v + "'");
        } else if (option.is("type")) {
            type = fileTypeByName(v);
            if (type == nullptr || type->majorFormat == SF_FORMAT_WAVEX)
                return line.usageError("--type takes wav, caf, w64 or flac, not '" + v + "'");
        } else if (option.is("bits")) {
            bits = sampleFormatByName(v);
            if (bits == 0)
                return line.usageError("--bits takes 16, 24, 32 or float, not '" + v + "'");
        } else if (option.is("force")) {
            force = true;
        }
    }
    if (line.operands().size() != 1) return line.usageError("needs one OUTPUT");
    const std::string& outputPath = line.operands()[0];
    if (type == nullptr) type = fileTypeOfPath(outputPath);
    if (type == nullptr || type->majorFormat == SF_FORMAT_WAVEX)
        return line.usageError("cannot tell the file type of '" + outputPath +
                               "': name it .wav, .caf, .w64 or .flac, or use --type");
    SF_INFO format = {};
    format.samplerate = static_cast<int>(rate);
    format.channels = 4;
    format.format = type->majorFormat | bits;
    if (!sf_format_check(&format))
        return line.usageError(std::string(type->name) + " files cannot hold that sample format");

    COutputFile output(outputPath, force);
    if (!output.checkDestination({}) || !output.create()) return kExitFailure;
    CSoundFile writer;
    if (!writer.openForWriting(output.descriptor(), outputPath, format)) return kExitFailure;

    const double a = azimuth * M_PI / 180.0, e = elevation * M_PI / 180.0;
    const double source[3] = {std::cos(a) * std::cos(e), std::sin(a) * std::cos(e), std::sin(e)};
    double gains[4];
    for (int c = 0; c < 4; ++c) {
        const double* d = kCapsules[c];
        const double cosine =
            (d[0] * source[0] + d[1] * source[1] + d[2] * source[2]) / std::sqrt(3.0);
        gains[c] = 0.5 * (1.0 + cosine) * std::pow(10.0, level / 20.0);
    }
    const long long frames = static_cast<long long>(std::llround(seconds * rate));
    std::vector<float> interleaved(static_cast<size_t>(kBlock) * 4);
    uint32_t seed = 0x12345678u;
    for (long long done = 0; done < frames; done += kBlock) {
        const long n = static_cast<long>(frames - done < kBlock ? frames - done : kBlock);
        for (long i = 0; i < n; ++i) {
            double s;
            if (noise) {
                seed = seed * 1664525u + 1013904223u; // the Numerical Recipes generator
                s = static_cast<double>(seed) / 2147483648.0 - 1.0;
            } else {
                s = std::sin(2.0 * M_PI * frequency * static_cast<double>(done + i) / rate);
            }
            for (int c = 0; c < 4; ++c)
                interleaved[static_cast<size_t>(i * 4 + c)] = static_cast<float>(gains[c] * s);
        }
        if (sf_writef_float(writer.handle(), interleaved.data(), n) != n)
            return fileError(outputPath, "write failed: " + writer.error());
    }
    if (!writer.close() || !output.commit()) return kExitFailure;
    std::printf("%s: %.3f s at %.0f Hz, %s from azimuth %g, elevation %g degrees\n",
                outputPath.c_str(), static_cast<double>(frames) / rate, rate,
                noise ? "noise" : "tone", azimuth, elevation);
    return kExitSuccess;
}
