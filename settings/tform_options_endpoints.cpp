// The options dialog's block for IPv6 endpoints and the process column, kept apart from
// the classic controls, whose places and options.dat stay as they are.

#include "settings/focus_frame_style.h"
#include "settings/settings_file.h"
#include "settings/tform_options.h"

#include <QCheckBox>
#include <QFrame>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

const QString kShowIpv6Key = u"endpoints/showIpv6"_s;
const QString kShowProcessColumnKey = u"endpoints/showProcessColumn"_s;
constexpr int kBlockHeight = 48;

} // namespace

void TForm_Options::createEndpointOptions()
{
    // The dialog grows at the bottom; everything above keeps its pixels.
    const int top = height();
    setFixedSize(width(), top + kBlockHeight);
    Panel1->resize(Panel1->width(), Panel1->height() + kBlockHeight);
    auto* focusStyle = new FocusFrameStyle;
    focusStyle->setParent(this);
    const auto makeBox = [this, focusStyle](const QString& name, const QString& caption, int y, bool ticked) {
        auto* box = new QCheckBox(caption, Panel1);
        box->setObjectName(name);
        box->setStyle(focusStyle);
        box->setGeometry(32, y, std::max(177, box->sizeHint().width()), 17);
        box->setChecked(ticked);
        return box;
    };
    CheckBoxIpv6 = makeBox(u"CheckBoxIpv6"_s, u"Show IPv6 endpoints"_s, top, m_showIpv6);
    CheckBoxProcess = makeBox(u"CheckBoxProcess"_s, u"Show process column"_s, top + 24, m_showProcessColumn);
    connect(CheckBoxIpv6, &QCheckBox::toggled, this, [this](bool ticked) { m_showIpv6 = ticked; });
    connect(CheckBoxProcess, &QCheckBox::toggled, this, [this](bool ticked) {
        m_showProcessColumn = ticked;
        CheckBoxProcessClick(ticked);
    });
}

void TForm_Options::loadEndpointOptions()
{
    if (!m_settingsFile)
        return;
    setTicked(CheckBoxIpv6, m_showIpv6, m_settingsFile->value(kShowIpv6Key, true).toBool(), nullptr);
    setTicked(CheckBoxProcess, m_showProcessColumn,
        m_settingsFile->value(kShowProcessColumnKey, false).toBool(), &TForm_Options::CheckBoxProcessClick);
    Q_EMIT processColumnChanged(m_showProcessColumn);
}

QStringList TForm_Options::saveEndpointOptions()
{
    if (!m_settingsFile)
        return {};
    // A default never stored stays out of the file, which then reads as it always did.
    const auto store = [this](const QString& key, bool value, bool fallback) {
        if (value == fallback && !m_settingsFile->value(key).isValid())
            return true;
        return m_settingsFile->setValue(key, value);
    };
    if (!store(kShowIpv6Key, m_showIpv6, true) || !store(kShowProcessColumnKey, m_showProcessColumn, false))
        return { m_settingsFile->error() };
    return {};
}

bool TForm_Options::showIpv6Endpoints() const
{
    return m_showIpv6;
}

bool TForm_Options::showProcessColumn() const
{
    return m_showProcessColumn;
}
