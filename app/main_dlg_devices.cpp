// The main dialog's devices: how many are connected (beside Startup
// download, told within a second of a plug or unplug, with the fix when
// this user may not open one), and a small list of each device's progress
// and last ending.
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <algorithm>

#include "app/device_download.h"
#include "app/dialog_units.h"
#include "app/gbk_text.h"
#include "app/main_dlg.h"
#include "app/ui_thread_call.h"
#include "common/user_texts.h"
#include "device/device_watch.h"
#include "device/download_log.h"

namespace tabrelium {

void CMainDlg::CreateDeviceControls() {
  const DialogUnits du(font());
  m_labelDevices = new QLabel(FromUtf8(texts::DeviceCountText(0)), this);
  m_labelDevices->setObjectName(QStringLiteral("deviceCount"));
  m_labelDevices->setWordWrap(true);
  m_listDevices = new QTreeWidget(this);
  m_listDevices->setObjectName(QStringLiteral("deviceList"));
  m_listDevices->setRootIsDecorated(false);
  m_listDevices->setUniformRowHeights(true);
  m_listDevices->setSelectionMode(QAbstractItemView::NoSelection);
  m_listDevices->setColumnCount(2);
  m_listDevices->setHeaderLabels({QStringLiteral("Device(设备)"), QStringLiteral("State(状态)")});
  m_listDevices->header()->setStretchLastSection(true);
  // Devices differ at the end of their paths and in their serials: a cut
  // name keeps its end.
  m_listDevices->setTextElideMode(Qt::ElideMiddle);
  m_listDevices->setMinimumHeight(du.Y(24));
  ReadLastEndings();
}

void CMainDlg::StartDeviceWatch() {
  // The watch calls on its own thread; the window takes the news on its own.
  m_watch = tabrelium::StartDeviceWatch([this](const std::vector<DeviceInfo>& devices) {
    m_uiCall->Post([this, devices] { ShowDevices(devices); });
  });
}

void CMainDlg::ShowDevices(std::vector<DeviceInfo> devices) {
  m_devices = std::move(devices);
  size_t notPermitted = 0;
  const DeviceInfo* denied = nullptr;
  for (const DeviceInfo& d : m_devices)
    if (d.access == OpenFailure::kAccessDenied) {
      ++notPermitted;
      if (!denied) denied = &d;
    }
  m_labelDevices->setText(FromUtf8(texts::DeviceCountLabelText(m_devices.size(), notPermitted)));
  // The fix, where the user looks when the label says the device may not
  // be opened.
  m_labelDevices->setToolTip(
      denied ? FromUtf8(texts::OpenFailureText(OpenFailure::kAccessDenied, denied->path)) : QString());
  UpdateDeviceList();
  emit DevicesChanged();
}

void CMainDlg::ReadLastEndings() {
  std::vector<std::string> lines;
  if (!ReadDownloadLog(DownloadLogPath(), lines).ok()) return;
  for (const std::string& line : lines)
    if (auto entry = ParseLogLine(line))
      m_lastEndings[entry->devicePath] = FromUtf8(texts::LastEndingText(entry->outcome, entry->time));
}

void CMainDlg::UpdateDeviceList() {
  // The devices of the download under way (or the last one), so that each
  // one's ending stays in view also when it has gone, then any other
  // connected now.
  std::vector<const DeviceInfo*> shown;
  std::vector<const CDeviceDownload*> downloads;
  for (const auto& d : m_downloads) {
    if (d->m_device.path.empty()) continue;
    shown.push_back(&d->m_device);
    downloads.push_back(d.get());
  }
  for (const DeviceInfo& d : m_devices) {
    const bool inDownload = std::any_of(m_downloads.begin(), m_downloads.end(),
                                        [&](const auto& dl) { return dl->m_device.path == d.path; });
    if (inDownload) continue;
    shown.push_back(&d);
    downloads.push_back(nullptr);
  }
  while (m_listDevices->topLevelItemCount() > static_cast<int>(shown.size()))
    delete m_listDevices->takeTopLevelItem(m_listDevices->topLevelItemCount() - 1);
  for (size_t i = 0; i < shown.size(); ++i) {
    QTreeWidgetItem* item = m_listDevices->topLevelItem(static_cast<int>(i));
    if (!item) item = new QTreeWidgetItem(m_listDevices);
    const DeviceInfo& device = *shown[i];
    const CDeviceDownload* download = downloads[i];
    item->setText(0, FromUtf8(device.path) +
                         (device.serial.empty() ? QString() : QStringLiteral(" ") + FromUtf8(device.serial)));
    QString state;
    QString tip = FromUtf8(device.path + "\n" + device.manufacturer + " " + device.product);
    if (download && !download->m_returned) {
      state = download->m_silent ? FromUtf8(texts::DeviceNotAnsweringText()) : download->m_label;
    } else if (auto last = m_lastEndings.find(device.path); last != m_lastEndings.end()) {
      state = last->second;
    } else if (device.access != OpenFailure::kNone) {
      state = FromUtf8(texts::DeviceAccessText(device.access));
    }
    if (download && !download->m_trouble.isEmpty()) tip += QStringLiteral("\n") + download->m_trouble;
    item->setText(1, state);
    item->setToolTip(0, tip);
    item->setToolTip(1, tip);
  }
  // The names whole where they fit, leaving the states at least half.
  const int room = m_listDevices->viewport()->width() / 2;
  int widest = m_listDevices->header()->sectionSizeHint(0);
  for (int i = 0; i < m_listDevices->topLevelItemCount(); ++i)
    widest = std::max(widest, m_listDevices->fontMetrics().horizontalAdvance(
                                  m_listDevices->topLevelItem(i)->text(0)) +
                                  2 * m_listDevices->fontMetrics().averageCharWidth());
  m_listDevices->setColumnWidth(0, std::min(widest, room));
}

}  // namespace tabrelium
