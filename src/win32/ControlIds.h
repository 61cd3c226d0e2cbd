// The numbers of the Win32 window's controls and menu items.
#pragma once

namespace quellmark {

enum ControlId : int {
    kSearchLabelId = 100,
    kSearchFieldId,
    kTreeLabelId,
    kTreeId,
    kTypeLabelId,
    kTypeBoxId,
    kDestLabelId,
    kDestFieldId,
    kBrowseId,
    kConvertId,
    kListLabelId,
    kListId,
    kStatusId,
    kProgressId,
    kStopId,
    kPreviewId,
    kMenuSearchFolder = 200,
    kMenuFileType0 = 210,  // to 213
    kMenuDestFolder = 220,
    kMenuConvert,
    kMenuExit,
    kMenuPreview = 225,
    kMenuAbout = 230,
};

}  // namespace quellmark
