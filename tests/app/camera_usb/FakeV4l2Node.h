#pragma once

#include <linux/uvcvideo.h>
#include <linux/videodev2.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "camera/V4l2Ioctl.h"

// Answers the ioctls the camera's V4L2 node takes, the way uvcvideo does: extension-unit
// queries only at the control's own length (GET_LEN), V4L2 controls by id.
class FakeV4l2Node : public corvane::V4l2Ioctl {
 public:
  struct Control {
    int32_t minimum = 0, maximum = 0, step = 1, defaultValue = 0, value = 0;
    uint32_t flags = 0;
  };
  struct XuControl {
    uint16_t length = 0;
    std::vector<uint8_t> current;  // what GET_CUR answers
    std::vector<std::vector<uint8_t>> written;
  };
  struct Call {
    unsigned long request;
    uint32_t id = 0;    // V4L2 control id
    int32_t value = 0;  // S_CTRL value
    uint8_t unit = 0, selector = 0, query = 0;
    uint16_t size = 0;  // UVCIOC_CTRL_QUERY size
  };

  struct State {
    std::map<uint32_t, Control> controls;
    std::map<std::pair<uint8_t, uint8_t>, XuControl> xu;
    std::vector<Call> calls;
    int failWith = 0;  // errno for every call, when not 0
  };

  explicit FakeV4l2Node(std::shared_ptr<State> state, std::string path = "/dev/video0")
      : state_(std::move(state)), path_(std::move(path)) {}

  std::string path() const override { return path_; }

  int ioctl(unsigned long request, void* argument) override {
    State& s = *state_;
    Call call{request};
    if (request == VIDIOC_QUERYCTRL || request == VIDIOC_G_CTRL || request == VIDIOC_S_CTRL) {
      call.id = request == VIDIOC_QUERYCTRL ? static_cast<v4l2_queryctrl*>(argument)->id
                                            : static_cast<v4l2_control*>(argument)->id;
      if (request == VIDIOC_S_CTRL) call.value = static_cast<v4l2_control*>(argument)->value;
    } else if (request == UVCIOC_CTRL_QUERY) {
      auto* q = static_cast<uvc_xu_control_query*>(argument);
      call.unit = q->unit;
      call.selector = q->selector;
      call.query = q->query;
      call.size = q->size;
    }
    s.calls.push_back(call);
    if (s.failWith) return -s.failWith;

    switch (request) {
      case VIDIOC_QUERYCTRL: {
        auto* q = static_cast<v4l2_queryctrl*>(argument);
        auto it = s.controls.find(q->id);
        if (it == s.controls.end()) return -EINVAL;
        q->minimum = it->second.minimum;
        q->maximum = it->second.maximum;
        q->step = it->second.step;
        q->default_value = it->second.defaultValue;
        q->flags = it->second.flags;
        return 0;
      }
      case VIDIOC_G_CTRL:
      case VIDIOC_S_CTRL: {
        auto* c = static_cast<v4l2_control*>(argument);
        auto it = s.controls.find(c->id);
        if (it == s.controls.end()) return -EINVAL;
        if (request == VIDIOC_G_CTRL) {
          c->value = it->second.value;
        } else {
          if (c->value < it->second.minimum || c->value > it->second.maximum) return -ERANGE;
          it->second.value = c->value;
        }
        return 0;
      }
      case UVCIOC_CTRL_QUERY: {
        auto* q = static_cast<uvc_xu_control_query*>(argument);
        auto it = s.xu.find({q->unit, q->selector});
        if (it == s.xu.end()) return -ENOENT;
        XuControl& x = it->second;
        if (q->query == 0x85) {  // GET_LEN
          if (q->size != 2) return -EINVAL;
          q->data[0] = uint8_t(x.length);
          q->data[1] = uint8_t(x.length >> 8);
          return 0;
        }
        if (q->size != x.length) return -ENOBUFS;
        if (q->query == 0x01) {
          x.written.emplace_back(q->data, q->data + q->size);
          x.current.assign(q->data, q->data + q->size);
          return 0;
        }
        x.current.resize(x.length);
        std::copy(x.current.begin(), x.current.end(), q->data);
        return 0;
      }
      default:
        return -ENOTTY;
    }
  }

 private:
  std::shared_ptr<State> state_;
  std::string path_;
};
