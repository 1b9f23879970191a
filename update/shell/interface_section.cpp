#include "update/shell/interface_section.h"

namespace ckupdate {

QRecursiveMutex& csInterface() {
    static QRecursiveMutex section;
    return section;
}

void TInterfaceLock::Enter() {
    if (held_) return;
    csInterface().lock();
    held_ = true;
}

bool TInterfaceLock::TryEnter() {
    if (!held_) held_ = csInterface().tryLock();
    return held_;
}

void TInterfaceLock::Leave() {
    if (!held_) return;
    held_ = false;
    csInterface().unlock();
}

}  // namespace ckupdate
