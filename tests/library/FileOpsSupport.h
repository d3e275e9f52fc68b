#pragma once

// The file-operation helpers live with the rest of the library rig.
#include "LibrarySupport.h"

namespace FileOpsSupport = LibrarySupport;
