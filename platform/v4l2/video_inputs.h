// The video capture devices of the machine as V4L2 lists them: the card name of every /dev/video*
// node that captures video, in node order. The camera dialog offers the names and SourceKit opens
// a device by its name. Reads the device nodes only; any thread.
#pragma once

#include <string>
#include <vector>

struct VideoInput {
    std::string cardName;  // VIDIOC_QUERYCAP's card, e.g. "Integrated Camera: Integrated C"
    std::string node;      // "/dev/video0"
};

// Every capture node below folder (the system's "/dev" unless a test gives another), videoN nodes
// sorted by N. Nodes that cannot be opened or queried, and nodes without video capture (a camera's
// metadata node), are left out. An unreadable folder gives an empty list.
std::vector<VideoInput> ListVideoInputs(const std::string& folder = "/dev");

// The card names of ListVideoInputs, each once, in node order: a camera that has two capture
// nodes is still one choice.
std::vector<std::string> ListVideoInputNames(const std::string& folder = "/dev");
