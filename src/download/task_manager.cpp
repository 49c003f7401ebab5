#include "download/task_manager.h"

#include <easylogging++.h>
#include <tinyxml2.h>

#include <algorithm>
#include <cstdio>

#include "analytics/flow_error_ids.h"
#include "analytics/single_user_log.h"
#include "download/libcurl_tool.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/text.h"

namespace download {
namespace {

analytics::CSingleUserLog& UserLog() { return analytics::CSingleUserLog::GetInstance(); }

CDownloadTask* AsDownload(CTask* task) { return static_cast<CDownloadTask*>(task); }

// A position or time read from a task file, kept within what a real plan can hold so the slice
// arithmetic never overflows; a plan holding such a value fails its check and is made anew.
int64_t SavedValue(const char* name, int64_t value) {
  constexpr int64_t kLimit = CDownloadTaskManager::kMaxContentLength;
  if (value >= 0 && value <= kLimit) return value;
  LOG(INFO) << " task file value out of range: " << name << " " << value;
  return value < 0 ? 0 : kLimit;
}

// Text of a header value: from `from` up to the CR LF (or LF, or the end) of its line.
std::string UpToLineEnd(const std::string& text, size_t from) {
  if (from >= text.size()) return std::string();
  size_t end = text.find_first_of("\r\n", from);
  if (end == std::string::npos) end = text.size();
  return text.substr(from, end - from);
}

// Decimal digits at the start of text (after blanks); -1 when there are none or they overflow.
int64_t LeadingNumber(const std::string& text, size_t from) {
  while (from < text.size() && (text[from] == ' ' || text[from] == '\t')) ++from;
  int64_t value = 0;
  size_t digits = 0;
  while (from < text.size() && text[from] >= '0' && text[from] <= '9') {
    const int d = text[from] - '0';
    if (value > (INT64_MAX - d) / 10) return -1;
    value = value * 10 + d;
    ++from;
    ++digits;
  }
  return digits == 0 ? -1 : value;
}

// The header block of the last response in a redirect chain.
std::string LastResponseBlock(const std::string& headers) {
  size_t pos = 0;
  size_t last = 0;
  while ((pos = headers.find("HTTP/", pos)) != std::string::npos) {
    if (pos == 0 || headers[pos - 1] == '\n') last = pos;
    pos += 5;
  }
  return headers.substr(last);
}

std::wstring Wide(const std::string& ansi) { return platform::AnsiToWide(ansi); }

}  // namespace

// ---------------------------------------------------------------------------------------------

CTaskManager::~CTaskManager() { clearTasks(); }

CTask* CTaskManager::getTask() {
  if (todo_.empty()) return nullptr;
  CTask* task = todo_.front();
  todo_.pop_front();
  task->status.store(CTask::kHandedOut);
  handedOut_.push_back(task);
  return task;
}

int CTaskManager::addTodoTask(CTask* task) {
  todo_.push_back(task);
  return 1;
}

int CTaskManager::addHandedOutTask(CTask* task) {
  handedOut_.push_back(task);
  return 1;
}

int CTaskManager::addTask(CTask* task) {
  if (task == nullptr) return 0;
  all_.push_back(task);
  if (task->status.load() == CTask::kDone) return addHandedOutTask(task);
  return addTodoTask(task);
}

void CTaskManager::takeTask(CTask* task) {
  auto it = std::find(todo_.begin(), todo_.end(), task);
  if (it != todo_.end()) {
    todo_.erase(it);
    handedOut_.push_back(task);
  } else if (std::find(handedOut_.begin(), handedOut_.end(), task) == handedOut_.end()) {
    handedOut_.push_back(task);
  }
  task->status.store(CTask::kHandedOut);
}

void CTaskManager::clearTasks() {
  for (CTask* task : all_) delete task;
  all_.clear();
  handedOut_.clear();
  todo_.clear();
  taskCount_ = 0;
}

// ---------------------------------------------------------------------------------------------

CDownloadTaskManager::CDownloadTaskManager(const std::string& url, const std::string& localPath,
                                           const std::string& taskFilePath)
    : url_(url), requestedUrl_(url), localPath_(localPath), taskFilePath_(taskFilePath) {}

bool CDownloadTaskManager::taskFileExists() const {
  std::string bytes;
  return platform::ReadWholeFile(Wide(taskFilePath_), &bytes);
}

void CDownloadTaskManager::computeSlicing(int64_t contentLength, int32_t sliceNum,
                                          int32_t sliceSize, int64_t* size, int64_t* count) {
  if (sliceNum < 0) sliceNum = 0;
  if (sliceSize < 0) sliceSize = 0;
  int64_t s;
  int64_t n;
  if (sliceNum != 0) {
    n = sliceNum;
    s = contentLength / sliceNum;
    if (s == 0) {
      // More slices than bytes: one byte each.
      s = 1;
      n = contentLength;
    }
  } else {
    s = sliceSize != 0 ? sliceSize : kDefaultSliceSize;
    n = contentLength / s;
  }
  if (n > kMaxSlices) {
    // The smallest slice size that keeps the count within the cap (rounded up: rounding down
    // would give back more than kMaxSlices slices for most sizes).
    s = (contentLength + kMaxSlices - 1) / kMaxSlices;
    n = contentLength / s;
  }
  if (n <= 0) n = 1;
  if (s <= 0) s = 1;
  *size = s;
  *count = n;
}

int64_t CDownloadTaskManager::getContentLength(CURLcode* code, std::string* cdnReference,
                                               int logFlag) {
  cdnReference->clear();
  const int64_t cached = UserLog().GetContentLength(url_);
  if (cached != 0) return cached;

  *code = CURLE_OK;
  CLibcurlTool tool;
  for (int passes = 1;; ++passes) {
    LOG(INFO) << " before getContentLength GetHeader";
    std::string headers;
    long status = 0;
    *code = tool.httpGet(url_, &headers, &status);
    LOG(INFO) << " after getContentLength GetHeader";

    // CDN analysis of the whole chain's headers.
    const size_t cacheAt = FindNoCase(headers, "CF-Cache-Status:");
    const size_t rayAt = FindNoCase(headers, "CF-RAY:");
    const std::string rayLine = rayAt == std::string::npos ? std::string()
                                                             : UpToLineEnd(headers, rayAt + 7);
    const size_t dash = rayLine.find('-');
    if (cacheAt != std::string::npos && rayAt != std::string::npos && dash != std::string::npos) {
      const std::string cacheStatus = UpToLineEnd(headers, cacheAt + 16);
      const std::string location = rayLine.substr(dash + 1);
      LOG(INFO) << " Cdn result: " << cacheStatus << ", " << location;
      UserLog().AddUserLog("Download", "3.CDNStatus", (location + "/" + cacheStatus).c_str());
    } else {
      const size_t xcache = FindNoCase(headers, "X-Cache:");
      if (xcache != std::string::npos) {
        *cdnReference = UpToLineEnd(headers, xcache + 9);
        LOG(INFO) << " Cdn result: " << *cdnReference;
        UserLog().AddUserLog("Download", "3.CDNStatus", cdnReference->c_str());
      }
    }

    if (status != 200) {
      cdnReference->clear();
      return 0;
    }

    if (FindNoCase(headers, "Location:") != std::string::npos) {
      // The address the chain ended at; curl has resolved relative and chained redirects.
      std::string next = tool.effectiveUrl();
      if (next.empty()) {
        const size_t at = FindNoCase(headers, "Location:");
        const size_t colon = headers.find(':', at);
        next = UpToLineEnd(headers, colon + 2);
      }
      if (next != url_) {
        if (*code != CURLE_TOO_MANY_REDIRECTS && passes < 10) {
          url_ = next;
          continue;
        }
        if (logFlag) {
          LOG(INFO) << " Get Contentlength = " << 0 << ", error CURLE_TOO_MANY_REDIRECTS";
        }
        *code = CURLE_TOO_MANY_REDIRECTS;
        cdnReference->clear();
        return 0;
      }
      // A final answer that names itself: nothing more to follow.
    }

    const std::string block = LastResponseBlock(headers);
    int64_t size = -1;
    const size_t rangeAt = FindNoCase(block, "Content-Range:");
    if (rangeAt != std::string::npos) {
      const size_t slash = block.find('/', rangeAt);
      if (slash != std::string::npos) size = LeadingNumber(block, slash + 1);
    } else {
      const size_t lengthAt = FindNoCase(block, "Content-Length:");
      if (lengthAt == std::string::npos) return 0;
      size = LeadingNumber(block, lengthAt + 15);
    }
    if (size <= 0 || size > kMaxContentLength) {
      LOG(INFO) << " Get Contentlength = " << 0 << ", unusable size in the reply";
      return 0;
    }
    if (logFlag) LOG(INFO) << " Get Contentlength = " << size;
    UserLog().SetContentLength(url_, size);
    return size;
  }
}

int64_t CDownloadTaskManager::probeSize(CURLcode* code, std::string* cdnReference, int logFlag,
                                        std::vector<std::string>* records) {
  int64_t size = 0;
  for (int attempt = 0; attempt < kProbeAttempts; ++attempt) {
    size = getContentLength(code, cdnReference, logFlag);
    if (size > 0) {
      if (records) records->push_back("Success");
      return size;
    }
    if (records) {
      char text[32];
      std::snprintf(text, sizeof(text), "error:%d", static_cast<int>(*code));
      records->push_back(text);
    }
    platform::SleepMs(100);
  }
  return 0;
}

EnumErrorCode CDownloadTaskManager::generateDownloadTask(const std::string& label, int logFlag) {
  std::vector<std::string> records;
  CURLcode code = CURLE_OK;
  std::string cdnReference;
  const int64_t size = probeSize(&code, &cdnReference, logFlag, &records);
  while (records.size() < 10) records.push_back("Null");
  if (!label.empty()) {
    std::string joined;
    for (size_t i = 0; i < records.size(); ++i) joined += (i ? "/" : "") + records[i];
    UserLog().AddUserLog("Other", "Download", joined.c_str());
    LOG(INFO) << " GetSize: " << label << ", " << joined;
  }
  if (size <= 0) {
    return code == CURLE_TOO_MANY_REDIRECTS ? ErrTooManyRedirects : ErrContentLength;
  }

  contentLength_ = size;
  const auto settings = UserLog().GetDownloadSettings();
  int64_t sliceSize = 0;
  int64_t count = 0;
  computeSlicing(size, settings.sliceNum, settings.sliceSize, &sliceSize, &count);
  for (int64_t i = 1; i <= count; ++i) {
    auto* task = new CDownloadTask();
    task->StartPos = (i - 1) * sliceSize;
    task->setNextPos(task->StartPos);
    task->EndPos = i == count ? size : i * sliceSize - 1;
    task->status.store(CTask::kNew);
    task->id.store(static_cast<int32_t>(i));
    task->RequestTimes.store(0);
    task->RemotePath = url_;
    task->LocalPath = localPath_;
    task->contentLength = size;
    task->cdnReference = cdnReference;
    task->logFlag = logFlag;
    addTask(task);
  }
  taskCount_ = static_cast<int32_t>(all_.size());
  if (logFlag) {
    LOG(INFO) << " Tasks info, generate ok, total " << all_.size() << ", todo " << todo_.size()
              << ", complete " << handedOut_.size();
  }
  return ErrSuccess;
}

void CDownloadTaskManager::loadTaskFromFile(int logFlag) {
  std::string bytes;
  tinyxml2::XMLDocument doc;
  if (platform::ReadWholeFile(Wide(taskFilePath_), &bytes) && !bytes.empty()) {
    if (doc.Parse(bytes.data(), bytes.size()) != tinyxml2::XML_SUCCESS) {
      LOG(INFO) << " task file does not parse: " << doc.ErrorStr();
      doc.Clear();
    }
  }
  const tinyxml2::XMLElement* root = doc.FirstChildElement();
  // A slice's position rests on the file's size, which may come after it (or more than once):
  // the slices are placed once the whole file has been read, all by the same size.
  struct Read {
    CDownloadTask* task;
    int64_t downloaded;
    int status;
  };
  std::vector<Read> read;
  for (const tinyxml2::XMLElement* e = root ? root->FirstChildElement() : nullptr; e != nullptr;
       e = e->NextSiblingElement()) {
    const std::string name = e->Name();
    if (name == "TasksCount") {
      e->QueryIntText(&taskCount_);
    } else if (name == "ContentLength") {
      e->QueryInt64Text(&contentLength_);
      contentLength_ = SavedValue("ContentLength", contentLength_);
    } else if (name == "DownloadTime") {
      e->QueryInt64Text(&downloadTime_);
      downloadTime_ = SavedValue("DownloadTime", downloadTime_);
    } else if (name == "Task") {
      auto* task = new CDownloadTask();
      int64_t downloaded = 0;
      int status = 0;
      int id = 0;
      for (const tinyxml2::XMLElement* f = e->FirstChildElement(); f != nullptr;
           f = f->NextSiblingElement()) {
        const std::string field = f->Name();
        const char* text = f->GetText();
        if (field == "StartPos") {
          f->QueryInt64Text(&task->StartPos);
        } else if (field == "EndPos") {
          f->QueryInt64Text(&task->EndPos);
        } else if (field == "DownloadedPos") {
          f->QueryInt64Text(&downloaded);
        } else if (field == "RemotePath") {
          task->RemotePath = text ? text : "";
        } else if (field == "LocalPath") {
          task->LocalPath = text ? text : "";
        } else if (field == "TaskStatus") {
          f->QueryIntText(&status);
        } else if (field == "TaskId") {
          f->QueryIntText(&id);
        }
        // RequestTimes starts again at 0 in every round.
      }
      task->StartPos = SavedValue("StartPos", task->StartPos);
      task->EndPos = SavedValue("EndPos", task->EndPos);
      task->logFlag = logFlag;
      task->id.store(id);
      read.push_back({task, SavedValue("DownloadedPos", downloaded), status});
    }
  }
  for (const Read& r : read) {
    CDownloadTask* task = r.task;
    task->contentLength = contentLength_;
    if (contentLength_ > 0 && !task->RemotePath.empty()) {
      UserLog().SetContentLength(task->RemotePath, contentLength_);
    }
    task->status.store(r.status);
    if (r.status == CTask::kDone) {
      task->markComplete();
    } else {
      task->setNextPos(r.downloaded);
    }
    addTask(task);
  }
  if (logFlag) {
    LOG(INFO) << " Tasks info, load ok, total " << all_.size() << ", todo " << todo_.size()
              << ", complete " << handedOut_.size();
  }
}

int CDownloadTaskManager::checkTaskPlan(int logFlag) {
  auto fail = [](const char* why) {
    LOG(INFO) << " task plan check failed: " << why;
    UserLog().AddUserLog(
        "Other", "FlowError", analytics::FlowErrorId(analytics::EnumFlowError::kTaskPlanSecond));
    return 3;
  };
  // A file that held no usable plan is a broken plan, whatever the server says.
  if (all_.empty() || contentLength_ <= 0) return fail("no slices or no size");

  CURLcode code = CURLE_OK;
  std::string scratch;
  const int64_t remote = probeSize(&code, &scratch, logFlag, nullptr);
  lastProbeCode_ = code;
  if (remote > 0 && remote != contentLength_) {
    LOG(INFO) << " task plan check failed: remote size " << remote << " != " << contentLength_;
    UserLog().AddUserLog(
        "Other", "FlowError", analytics::FlowErrorId(analytics::EnumFlowError::kTaskPlanFirst));
    return 2;
  }

  // The slices must be the ones a new plan of this size would get, so a plan cut under other
  // settings is made afresh rather than resumed with holes or overlaps.
  const auto settings = UserLog().GetDownloadSettings();
  int64_t sliceSize = 0;
  int64_t count = 0;
  computeSlicing(contentLength_, settings.sliceNum, settings.sliceSize, &sliceSize, &count);
  if (static_cast<int64_t>(all_.size()) != count || taskCount_ != count) {
    return fail("slice count");
  }
  int64_t next = 0;
  for (CTask* t : all_) {
    CDownloadTask* task = AsDownload(t);
    const int64_t id = task->id.load();
    if (task->StartPos != (id - 1) * sliceSize || task->StartPos != next) return fail("tiling");
    if (task->EndPos < task->StartPos) return fail("slice end");
    const int32_t status = task->status.load();
    const int64_t position = task->nextPos();
    if (status != CTask::kDone && (position < task->StartPos || position > task->EndPos)) {
      return fail("position");
    }
    if (task->RemotePath.empty()) return fail("no address");
    if (status < CTask::kNew || status > CTask::kHandedOut) return fail("status");
    next = task->EndPos + 1;
  }
  if (next != contentLength_ + 1) return fail("end of plan");
  if (remote <= 0) {
    // No answer is not "another size": the plan and its bytes wait for a round that can ask.
    LOG(INFO) << " task plan not checked: remote size unknown (code "
              << static_cast<int>(code) << ")";
    return 4;
  }
  return 1;
}

void CDownloadTaskManager::forgetRemoteSize() {
  UserLog().ForgetContentLength(url_);
  UserLog().ForgetContentLength(requestedUrl_);
  for (CTask* t : all_) UserLog().ForgetContentLength(AsDownload(t)->RemotePath);
}

EnumErrorCode CDownloadTaskManager::loadDownloadTask(const std::string& label, int logFlag) {
  resumed_ = false;
  if (taskFileExists()) {
    loadTaskFromFile(logFlag);
    const int check = checkTaskPlan(logFlag);
    if (check == 4) {
      // Keep the plan and the file on disk; a later round resumes them.
      LOG(INFO) << " taskinfo file kept, the remote size could not be asked";
      clearTasks();
      contentLength_ = 0;
      downloadTime_ = 0;
      return lastProbeCode_ == CURLE_TOO_MANY_REDIRECTS ? ErrTooManyRedirects : ErrContentLength;
    }
    if (check == 1) {
      // Saved progress is only worth keeping while the file still holds it.
      int64_t needed = 0;
      for (CTask* t : all_) {
        CDownloadTask* task = AsDownload(t);
        if (task->receivedBytes() > 0) {
          needed = std::max(needed, task->StartPos + task->receivedBytes());
        }
      }
      const int64_t onDisk = platform::FileSize(Wide(localPath_));
      if (needed == 0 || onDisk >= needed) {
        // The size was just confirmed at this round's address: the slices ask there too, not
        // at whatever address an earlier run had (a host that may be gone by now).
        for (CTask* t : all_) {
          CDownloadTask* task = AsDownload(t);
          if (task->RemotePath == url_) continue;
          if (logFlag) LOG(INFO) << " slice address " << task->RemotePath << " now " << url_;
          task->RemotePath = url_;
        }
        resumed_ = true;
        LOG(INFO) << " Load tasks from file success!";
        UserLog().AddFunnelEvent("Download", "ResumUpload", "", "");
        return ErrSuccess;
      }
      LOG(INFO) << " local file holds " << onDisk << " bytes, the plan needs " << needed;
    }
    LOG(INFO) << " taskinfo file error";
    clearTasks();
    platform::RemoveFile(Wide(localPath_));
    platform::RemoveFile(Wide(taskFilePath_));
    contentLength_ = 0;
    downloadTime_ = 0;
  }
  return generateDownloadTask(label, logFlag);
}

CDownloadTask* CDownloadTaskManager::firstIncompleteTask() const {
  for (CTask* t : all_) {
    if (!AsDownload(t)->isComplete()) return AsDownload(t);
  }
  return nullptr;
}

void CDownloadTaskManager::settleCompleteTasks() {
  for (auto it = todo_.begin(); it != todo_.end();) {
    if (AsDownload(*it)->isComplete()) {
      (*it)->status.store(CTask::kDone);
      handedOut_.push_back(*it);
      it = todo_.erase(it);
    } else {
      ++it;
    }
  }
  for (CTask* t : handedOut_) {
    if (AsDownload(t)->isComplete()) t->status.store(CTask::kDone);
  }
}

std::string CDownloadTaskManager::taskFileText() const {
  tinyxml2::XMLDocument doc;
  tinyxml2::XMLElement* root = doc.NewElement("TaskInfo");
  doc.InsertEndChild(root);
  auto add = [&doc](tinyxml2::XMLElement* parent, const char* name) {
    tinyxml2::XMLElement* e = doc.NewElement(name);
    parent->InsertEndChild(e);
    return e;
  };
  add(root, "TasksCount")->SetText(taskCount_);
  add(root, "ContentLength")->SetText(contentLength_);
  add(root, "DownloadTime")->SetText(downloadTime_);
  for (CTask* t : all_) {
    const CDownloadTask* task = AsDownload(t);
    tinyxml2::XMLElement* e = add(root, "Task");
    add(e, "StartPos")->SetText(task->StartPos);
    add(e, "EndPos")->SetText(task->EndPos);
    add(e, "DownloadedPos")->SetText(task->DownloadedPos());
    add(e, "RemotePath")->SetText(task->RemotePath.c_str());
    add(e, "LocalPath")->SetText(task->LocalPath.c_str());
    add(e, "TaskStatus")->SetText(task->status.load());
    add(e, "TaskId")->SetText(task->id.load());
    add(e, "RequestTimes")->SetText(task->RequestTimes.load());
  }
  tinyxml2::XMLPrinter printer;
  doc.Print(&printer);
  return std::string(printer.CStr(), printer.CStrSize() > 0 ? printer.CStrSize() - 1 : 0);
}

int CDownloadTaskManager::saveTaskToFile() {
  // A round that never got a plan has nothing to resume; an empty file would only be thrown
  // away (and reported as a broken plan) by the next round.
  if (all_.empty()) return 1;
  // A crash in the middle of the write leaves the previous plan, never a torn one.
  if (!platform::WriteFileAtomically(Wide(taskFilePath_), taskFileText())) {
    LOG(INFO) << " task file not written: " << taskFilePath_ << " error "
              << platform::LastErrorCode();
  }
  return 1;
}

}  // namespace download
