// Result analyser: the map from command type to its parse callback.
#ifndef ZV_DISK_ANALYSER_H
#define ZV_DISK_ANALYSER_H

class DiskAnalyser {
public:
    static void Init();
    static void Check();
};

#endif
