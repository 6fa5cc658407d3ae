// File > Upload History: the record of uploads, read-only and newest first, in
// the columns velmora-cli history shows, with where the record lives, how many
// of its lines could not be read, and Close.
#pragma once

#include <QDialog>
#include <string>

namespace velmora {

class CUploadHistoryDlg : public QDialog {
  public:
    // Reads the record at `path`; an empty path, with `whyNoPath`, when the
    // system names no place for it.
    CUploadHistoryDlg(const std::string& path, const std::string& whyNoPath,
                      QWidget* parent = nullptr);
};

}  // namespace velmora
