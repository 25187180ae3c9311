#pragma once
// The fixed texts of the drum set's questions and notices.

namespace thumper::texts {

inline constexpr const char* kNewDrumsetTitle = "New Drumset (Not Saved)";

inline constexpr const char* kReplaceQuestion = "There is a sound in this layer! replace?";
inline constexpr const char* kReplaceCaption = "Replace sound?";
inline constexpr const char* kCancelNotice = "Cancel";

inline constexpr const char* kDeletingCaption = "Deleting";
inline constexpr const char* kRemoveSampleQuestion =
    "This will remove sample from list and Drumset. Proceed?";
inline constexpr const char* kRemoveGroupQuestion =
    "This will remove all samples belonging to the group (also from sounds!). Proceed?";
inline constexpr const char* kRemoveSlotQuestion =
    "This will remove all samples belonging to the sound. Proceed?";
// Filled with the slot (from 0) and the layer (from 1).
inline constexpr const char* kRemoveLayerQuestion =
    "This will remove sample From sound %d layer %d. Proceed?";

inline constexpr const char* kTooManyGroupsCreate = "Try to manage with 16 lists (sorry)";
inline constexpr const char* kTooManyGroupsLoad = " Please try to manage with 16 Groups (sorry!) ";
inline constexpr const char* kOfferedGroupName = "Group..";
inline constexpr const char* kFirstGroupName = "New Group";
inline constexpr const char* kNoGroupFileName = "First";

inline constexpr const char* kSampleListExt = ".slist";
inline constexpr const char* kSampleListFilter = "Sample list (*.slist) | *.slist||";

}  // namespace thumper::texts
