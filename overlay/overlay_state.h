// What the poller hands to the render thread. The poller replaces the document
// under stateMutex and the pictures under imageMutex and then raises the matching
// dirty flag; the render thread takes a flag with an exchange to false. No code
// holds both mutexes at once, and no file work or decoding happens under either.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "kit/json_access.h"
#include "overlay/audience_document.h"
#include "overlay/data_url_image.h"

namespace qk::overlay {

// One accepted audience.json, never changed once made: the render thread keeps
// its own reference for a frame while the poller is free to publish the next.
struct AudienceSnapshot {
    explicit AudienceSnapshot(Json parsed) : document(std::move(parsed)), doc(AudienceDocument::read(document)) {}

    const Json document;  // always an object
    const AudienceDocument doc;
};
using AudienceSnapshotPtr = std::shared_ptr<const AudienceSnapshot>;

struct OverlayState {
    std::mutex stateMutex;
    AudienceSnapshotPtr audienceState;  // null until a document was accepted
    std::string lastAudienceText;       // the bytes audienceState was parsed from
    std::atomic<bool> stateDirty{false};

    std::mutex imageMutex;
    BgraImage bgImage;
    BgraImage logoImage;
    std::vector<BgraImage> slideImages;  // in show order
    std::vector<BgraImage> danceImages;  // in file order
    std::atomic<bool> assetsDirty{false};
    std::atomic<bool> slidesDirty{false};
    std::atomic<bool> gfxDirty{false};

    // The document in force, for one frame; null when none was accepted yet.
    AudienceSnapshotPtr snapshot() {
        std::lock_guard lock(stateMutex);
        return audienceState;
    }
};

// stateDirty taken for one frame. It is taken before the frame reads the
// document, so a document published after that raises it again for the next
// frame; and it is handed back when the frame ends without having used the
// change (faded out, returned early or failed), so no change is ever lost.
class TakenStateChange {
public:
    explicit TakenStateChange(std::atomic<bool>& dirty) : dirty_(dirty), changed_(dirty.exchange(false)) {}
    ~TakenStateChange() {
        if (changed_ && !used_) dirty_.store(true);
    }
    TakenStateChange(const TakenStateChange&) = delete;
    TakenStateChange& operator=(const TakenStateChange&) = delete;

    // Whether the document changed; from here on the change counts as used.
    bool use() {
        used_ = true;
        return changed_;
    }

private:
    std::atomic<bool>& dirty_;
    const bool changed_;
    bool used_ = false;
};

}  // namespace qk::overlay
