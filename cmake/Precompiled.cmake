# Precompiled headers: most of a compile of the window's, the command line's and the tests' files
# is spent reading the same Qt, GoogleTest, CLI11 and JSON headers; each target reads them once.
option(WAVORY_PCH "Precompile the headers most files of a target read" ON)

set(WAVORY_PCH_STD <algorithm> <functional> <map> <memory> <mutex> <optional> <set> <string>
    <string_view> <vector>)
set(WAVORY_PCH_QT_WIDGETS <QApplication> <QCheckBox> <QComboBox> <QDialog> <QHeaderView> <QLabel>
    <QLineEdit> <QMenu> <QMessageBox> <QPainter> <QPushButton> <QString> <QTabWidget> <QTimer>
    <QTreeWidget> <QVBoxLayout> <QWidget>)
set(WAVORY_PCH_GTEST <gtest/gtest.h>)

# wavory_pch(TARGET HEADER...): the target's files are compiled with these headers read ahead.
function(wavory_pch target)
    if(WAVORY_PCH)
        target_precompile_headers(${target} PRIVATE ${WAVORY_PCH_STD} ${ARGN})
    endif()
endfunction()
