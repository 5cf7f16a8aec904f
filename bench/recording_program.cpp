// Makes the field recordings the speed script times: an 8000 Hz stereo line
// (as `sorvex-tool simulate` writes it) converted up to a sound card's rate,
// mono (one side) or stereo, repeated to the length wanted, 16-bit PCM.
//   recording_program IN.wav OUT.wav RATE left|right|stereo REPEAT
#include <sndfile.h>
#include <soxr.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: %s IN.wav OUT.wav RATE left|right|stereo REPEAT\n", argv[0]);
    return 2;
  }
  const int rate = std::atoi(argv[3]);
  const std::string layout = argv[4];
  const int repeat = std::atoi(argv[5]);
  const int channels = layout == "stereo" ? 2 : 1;
  const int side = layout == "right" ? 1 : 0;
  SF_INFO inInfo{};
  SNDFILE* in = sf_open(argv[1], SFM_READ, &inInfo);
  if (in == nullptr || inInfo.channels != 2 || rate <= 0 || repeat <= 0) {
    std::fprintf(stderr, "%s: need an 8000 Hz stereo input, a rate and a repeat count\n", argv[0]);
    return 2;
  }
  std::vector<short> stereo(static_cast<size_t>(inInfo.frames) * 2);
  sf_readf_short(in, stereo.data(), inInfo.frames);
  sf_close(in);
  std::vector<float> source(static_cast<size_t>(inInfo.frames) * channels);
  for (sf_count_t i = 0; i < inInfo.frames; ++i) {
    for (int c = 0; c < channels; ++c) {
      source[static_cast<size_t>(i * channels + c)] = static_cast<float>(
          stereo[static_cast<size_t>(2 * i + (channels == 2 ? c : side))] / 32768.0);
    }
  }
  std::vector<float> converted;
  {
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    const size_t outFrames =
        static_cast<size_t>(static_cast<double>(inInfo.frames) * rate / inInfo.samplerate) + 16;
    converted.resize(outFrames * channels);
    size_t done = 0;
    const soxr_error_t error =
        soxr_oneshot(inInfo.samplerate, rate, static_cast<unsigned>(channels), source.data(),
                     static_cast<size_t>(inInfo.frames), nullptr, converted.data(), outFrames,
                     &done, &io, &quality, nullptr);
    if (error != nullptr) {
      std::fprintf(stderr, "%s: %s\n", argv[0], error);
      return 2;
    }
    converted.resize(done * channels);
  }
  SF_INFO outInfo{};
  outInfo.samplerate = rate;
  outInfo.channels = channels;
  outInfo.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* out = sf_open(argv[2], SFM_WRITE, &outInfo);
  if (out == nullptr) {
    std::fprintf(stderr, "%s: %s\n", argv[0], sf_strerror(nullptr));
    return 2;
  }
  const sf_count_t frames = static_cast<sf_count_t>(converted.size() / channels);
  for (int r = 0; r < repeat; ++r) {
    if (sf_writef_float(out, converted.data(), frames) != frames) {
      std::fprintf(stderr, "%s: %s\n", argv[0], sf_strerror(out));
      return 2;
    }
  }
  return sf_close(out) == 0 ? 0 : 2;
}
