// The outline's six built-in pictures, 16 by 16, drawn in code: a folder, a file and an attribute
// bullet, each with a variant for the selected row.
#pragma once

#include <QPixmap>

#include "components/outline_tree.h"

namespace vz {

QPixmap DrawOutlinePicture(OutlinePicture which);

}  // namespace vz
