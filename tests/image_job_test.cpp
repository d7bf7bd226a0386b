#include "image_job.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "gif_image.h"
#include "jpeg_image.h"
#include "png_image.h"
#include "port_test_app.h"
#include "test_env.h"

namespace {

struct completion {
  int calls = 0;
  int result = -1;
  void *job = nullptr;
};

void on_loaded(image_job *job, int result, void *user) {
  completion *c = static_cast<completion *>(user);
  c->calls++;
  c->result = result;
  c->job = job;
}

void on_saved(image_save_job *job, int result, void *user) {
  completion *c = static_cast<completion *>(user);
  c->calls++;
  c->result = result;
  c->job = job;
}

std::u16string wide(const std::string &s) { return std::u16string(s.begin(), s.end()); }

tbitmap *two_colours(int bpp) {
  tbitmap *b = tbitmap_new(6, 4, bpp);
  tbitmap_fill_rect(b, 0, 0, 2, 3, 0xFF203040);
  return b;
}

// The jobs need the port running: the active-object list and the loop that
// runs it.
void run(const std::function<void(const std::string &dir)> &body) {
  port_test_run_app([&body] {
    std::string dir = test_make_temp_dir("image-job");
    body(dir);
    test_remove_tree(dir);
    return 0;
  });
}

}  // namespace

TEST(ImageJob, LoadPicksTheDecoderByExtensionAndCompletesOnceLater) {
  run([](const std::string &dir) {
    tbitmap *picture = two_colours(24);
    ASSERT_EQ(jpeg_image_save(picture, wide(dir + "/upper.JPEG").c_str(), 90), 1);
    ASSERT_EQ(jpeg_image_save(picture, wide(dir + "/lower.jpg").c_str(), 90), 1);
    ASSERT_EQ(png_image_save(picture, wide(dir + "/mixed.Png").c_str()), 1);
    ASSERT_EQ(png_image_save(picture, wide(dir + "/png_inside.tif").c_str()), 1);
    ASSERT_EQ(gif_image_save(picture, wide(dir + "/a.gif").c_str()), 1);
    ASSERT_EQ(tbitmap_save_bmp(picture, wide(dir + "/a.BMP").c_str()), 1);
    tbitmap_free(picture);

    completion done;
    image_job *job = image_job_new(&done);
    ASSERT_NE(job, nullptr);
    struct expectation {
      const char *name;
      int result;
      int bpp;
      bool mask;
    };
    for (expectation e : {expectation{"upper.JPEG", 1, 24, false}, expectation{"lower.jpg", 1, 24, false},
                          expectation{"mixed.Png", 1, 24, true}, expectation{"a.gif", 1, 24, false},
                          expectation{"a.BMP", 1, 24, false}, expectation{"png_inside.tif", 0, 0, false},
                          expectation{"missing.png", 0, 0, false}, expectation{"no_extension", 0, 0, false}}) {
      SCOPED_TRACE(e.name);
      done = completion();
      tbitmap *image = nullptr, *mask = nullptr;
      EXPECT_EQ(image_job_load(job, &image, &mask, wide(dir + "/" + e.name).c_str(), 0, on_loaded), 1);
      EXPECT_EQ(done.calls, 0) << "never called from inside the load";
      port_test_pump();
      EXPECT_EQ(done.calls, 1);
      EXPECT_EQ(done.result, e.result);
      EXPECT_EQ(done.job, job);
      ASSERT_EQ(image != nullptr, e.result == 1);
      EXPECT_EQ(mask != nullptr, e.mask);
      if (image) {
        EXPECT_EQ(tbitmap_get_bpp(image), e.bpp);
        EXPECT_EQ(tbitmap_get_width(image), 6);
        tbitmap_free(image);
      }
      if (mask) tbitmap_free(mask);
      port_test_pump();
      EXPECT_EQ(done.calls, 1) << "one completion per load";
    }

    // Without a mask pointer the PNG mask is not kept.
    tbitmap *image = nullptr;
    done = completion();
    image_job_load(job, &image, nullptr, wide(dir + "/mixed.Png").c_str(), 0, on_loaded);
    port_test_pump();
    EXPECT_EQ(done.result, 1);
    tbitmap_free(image);
    image_job_free(job);
    image_job_free(nullptr);
  });
}

TEST(ImageJob, CancelAndFreeDropThePendingCompletion) {
  run([](const std::string &dir) {
    completion done;
    image_job *job = image_job_new(&done);
    tbitmap *image = nullptr;
    image_job_load(job, &image, nullptr, wide(dir + "/missing.gif").c_str(), 0, on_loaded);
    image_job_cancel(job);
    port_test_pump();
    EXPECT_EQ(done.calls, 0);

    // Two loads before a pass: one completion, with the last result.
    tbitmap *picture = two_colours(32);
    ASSERT_EQ(png_image_save(picture, wide(dir + "/ok.png").c_str()), 1);
    tbitmap_free(picture);
    image_job_load(job, &image, nullptr, wide(dir + "/missing.gif").c_str(), 0, on_loaded);
    image_job_load(job, &image, nullptr, wide(dir + "/ok.png").c_str(), 0, on_loaded);
    port_test_pump();
    EXPECT_EQ(done.calls, 1);
    EXPECT_EQ(done.result, 1);
    tbitmap_free(image);

    // Freed with its completion pending: nothing runs afterwards.
    done = completion();
    image_job_load(job, &image, nullptr, wide(dir + "/missing.gif").c_str(), 0, on_loaded);
    image_job_free(job);
    port_test_pump();
    EXPECT_EQ(done.calls, 0);

    image_save_job *save = image_job_save_new(&done);
    tbitmap *small = two_colours(24);
    image_job_save(save, IMAGE_JOB_FORMAT_PNG, small, wide(dir + "/dropped.png").c_str(), 100, on_saved);
    image_job_save_free(save);
    port_test_pump();
    EXPECT_EQ(done.calls, 0);
    EXPECT_TRUE(std::filesystem::exists(dir + "/dropped.png")) << "the work itself was done in the call";
    tbitmap_free(small);
  });
}

TEST(ImageJob, SaveByFormatCodeCompletesLater) {
  EXPECT_EQ(image_job_format_from_name(0, u"PNG"), IMAGE_JOB_FORMAT_PNG);
  EXPECT_EQ(image_job_format_from_name(0, u"jpeg"), IMAGE_JOB_FORMAT_JPEG);
  EXPECT_EQ(image_job_format_from_name(0, u"Jpg"), IMAGE_JOB_FORMAT_JPEG);
  EXPECT_EQ(image_job_format_from_name(0, u"GIF"), IMAGE_JOB_FORMAT_GIF);
  EXPECT_EQ(image_job_format_from_name(0, u"gifs"), IMAGE_JOB_FORMAT_NONE);
  EXPECT_EQ(image_job_format_from_name(0, u"BMP"), IMAGE_JOB_FORMAT_NONE);
  EXPECT_EQ(image_job_format_from_name(0, u""), IMAGE_JOB_FORMAT_NONE);
  EXPECT_EQ(image_job_format_from_name(0, nullptr), IMAGE_JOB_FORMAT_NONE);

  run([](const std::string &dir) {
    completion done;
    image_save_job *job = image_job_save_new(&done);
    tbitmap *colour = two_colours(24), *sixteen = two_colours(16);
    struct expectation {
      int format;
      tbitmap *bitmap;
      const char *name;
      int result;
    };
    for (expectation e : {expectation{IMAGE_JOB_FORMAT_PNG, colour, "a.png", 1},
                          expectation{IMAGE_JOB_FORMAT_JPEG, colour, "a.jpg", 1},
                          expectation{IMAGE_JOB_FORMAT_GIF, sixteen, "a.gif", 1},
                          expectation{IMAGE_JOB_FORMAT_PNG, sixteen, "b.png", 0},
                          expectation{IMAGE_JOB_FORMAT_JPEG, sixteen, "b.jpg", 0},
                          expectation{IMAGE_JOB_FORMAT_NONE, colour, "a.bmp", 0}}) {
      SCOPED_TRACE(e.name);
      done = completion();
      EXPECT_EQ(image_job_save(job, e.format, e.bitmap, wide(dir + "/" + e.name).c_str(), 75, on_saved), 1);
      EXPECT_EQ(done.calls, 0);
      port_test_pump();
      EXPECT_EQ(done.calls, 1);
      EXPECT_EQ(done.result, e.result);
      EXPECT_EQ(std::filesystem::exists(dir + "/" + e.name), e.result == 1);
    }
    tbitmap_free(colour);
    tbitmap_free(sixteen);
    image_job_save_free(job);
  });
}
