// A stand-in for libWmAudSDK.so that lacks WMAudioCreateWriter.

extern "C" __attribute__((visibility("default"))) int WMAudioCreateReader() {
    return 0;
}
