// Anchors the audio library so it links before its first backend exists.
namespace sorvex::audio {
int AudioLibraryVersion() {
  return 1;
}
}  // namespace sorvex::audio
