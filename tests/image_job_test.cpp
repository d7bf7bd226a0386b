#include "image_job.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "gif_image.h"
#include "jpeg_image.h"
#include "png_image.h"
#include "port_test_app.h"
#include "test_bitmap.h"
#include "test_env.h"

namespace {

// The completions seen: the result of each and the job it named.
struct completion {
  std::vector<int> results;
  void *job = nullptr;
};
template <class Job>
void on_done(Job *job, int result, void *user) {
  static_cast<completion *>(user)->results.push_back(result);
  static_cast<completion *>(user)->job = job;
}
const auto on_loaded = on_done<image_job>;
const auto on_saved = on_done<image_save_job>;

bitmap_ptr two_colours(int bpp) {
  bitmap_ptr b = test_bitmap(6, 4, bpp);
  tbitmap_fill_rect(b.get(), 0, 0, 2, 3, 0xFF203040);
  return b;
}

// The jobs need the port running: the active-object list and the loop that
// runs it.
void run(const std::function<void(const std::string &dir)> &body) {
  port_test_run_app([&body] {
    std::string dir = test_make_temp_dir("image-job");
    body(dir + "/");
    test_remove_tree(dir);
    return 0;
  });
}

}  // namespace

TEST(ImageJob, LoadPicksTheDecoderByExtensionAndCompletesOnceLater) {
  run([](const std::string &dir) {
    bitmap_ptr picture = two_colours(24);
    ASSERT_EQ(jpeg_image_save(picture.get(), test_wide(dir + "upper.JPEG").c_str(), 90), 1);
    ASSERT_EQ(jpeg_image_save(picture.get(), test_wide(dir + "lower.jpg").c_str(), 90), 1);
    ASSERT_EQ(png_image_save(picture.get(), test_wide(dir + "mixed.Png").c_str()), 1);
    ASSERT_EQ(png_image_save(picture.get(), test_wide(dir + "png_inside.tif").c_str()), 1);
    ASSERT_EQ(gif_image_save(picture.get(), test_wide(dir + "a.gif").c_str()), 1);
    ASSERT_EQ(tbitmap_save_bmp(picture.get(), test_wide(dir + "a.BMP").c_str()), 1);

    completion done;
    image_job *job = image_job_new(&done);
    ASSERT_NE(job, nullptr);
    const struct {
      const char *name;
      int result;
      bool mask;
    } cases[] = {{"upper.JPEG", 1, false},   {"lower.jpg", 1, false},      {"mixed.Png", 1, true},
                 {"a.gif", 1, false},        {"a.BMP", 1, false},          {"png_inside.tif", 0, false},
                 {"missing.png", 0, false},  {"no_extension", 0, false}};
    for (const auto &c : cases) {
      SCOPED_TRACE(c.name);
      done = completion();
      tbitmap *image = nullptr, *mask = nullptr;
      EXPECT_EQ(image_job_load(job, &image, &mask, test_wide(dir + c.name).c_str(), 0, on_loaded), 1);
      EXPECT_TRUE(done.results.empty()) << "never called from inside the load";
      port_test_pump();
      port_test_pump();
      EXPECT_EQ(done.results, std::vector<int>{c.result}) << "one completion per load";
      EXPECT_EQ(done.job, job);
      bitmap_ptr owned_image(image), owned_mask(mask);
      ASSERT_EQ(image != nullptr, c.result == 1);
      EXPECT_EQ(mask != nullptr, c.mask);
      EXPECT_TRUE(!image || (tbitmap_get_bpp(image) == 24 && tbitmap_get_width(image) == 6));
    }

    // Without a mask pointer the PNG mask is not kept.
    tbitmap *image = nullptr;
    done = completion();
    image_job_load(job, &image, nullptr, test_wide(dir + "mixed.Png").c_str(), 0, on_loaded);
    port_test_pump();
    EXPECT_EQ(done.results, std::vector<int>{1});
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
    std::u16string missing = test_wide(dir + "missing.gif");
    image_job_load(job, &image, nullptr, missing.c_str(), 0, on_loaded);
    image_job_cancel(job);
    port_test_pump();
    EXPECT_TRUE(done.results.empty());

    // Two loads before a pass: one completion, with the last result.
    ASSERT_EQ(png_image_save(two_colours(32).get(), test_wide(dir + "ok.png").c_str()), 1);
    image_job_load(job, &image, nullptr, missing.c_str(), 0, on_loaded);
    image_job_load(job, &image, nullptr, test_wide(dir + "ok.png").c_str(), 0, on_loaded);
    port_test_pump();
    EXPECT_EQ(done.results, std::vector<int>{1});
    tbitmap_free(image);

    // Freed with its completion pending: nothing runs afterwards.
    done = completion();
    image_job_load(job, &image, nullptr, missing.c_str(), 0, on_loaded);
    image_job_free(job);
    image_save_job *save = image_job_save_new(&done);
    bitmap_ptr small = two_colours(24);
    image_job_save(save, IMAGE_JOB_FORMAT_PNG, small.get(), test_wide(dir + "dropped.png").c_str(), 100, on_saved);
    image_job_save_free(save);
    port_test_pump();
    EXPECT_TRUE(done.results.empty());
    EXPECT_TRUE(std::filesystem::exists(dir + "dropped.png")) << "the work itself was done in the call";
  });
}

TEST(ImageJob, SaveByFormatCodeCompletesLater) {
  for (auto [name, format] : {std::pair{u"PNG", IMAGE_JOB_FORMAT_PNG}, {u"jpeg", IMAGE_JOB_FORMAT_JPEG},
                              {u"Jpg", IMAGE_JOB_FORMAT_JPEG}, {u"GIF", IMAGE_JOB_FORMAT_GIF},
                              {u"gifs", IMAGE_JOB_FORMAT_NONE}, {u"BMP", IMAGE_JOB_FORMAT_NONE}, {u"", IMAGE_JOB_FORMAT_NONE}})
    EXPECT_EQ(image_job_format_from_name(0, name), format);
  EXPECT_EQ(image_job_format_from_name(0, nullptr), IMAGE_JOB_FORMAT_NONE);

  run([](const std::string &dir) {
    completion done;
    image_save_job *job = image_job_save_new(&done);
    bitmap_ptr colour = two_colours(24), sixteen = two_colours(16);
    const struct {
      int format;
      tbitmap *bitmap;
      const char *name;
      int result;
    } cases[] = {{IMAGE_JOB_FORMAT_PNG, colour.get(), "a.png", 1},    {IMAGE_JOB_FORMAT_JPEG, colour.get(), "a.jpg", 1},
                 {IMAGE_JOB_FORMAT_GIF, sixteen.get(), "a.gif", 1},   {IMAGE_JOB_FORMAT_PNG, sixteen.get(), "b.png", 0},
                 {IMAGE_JOB_FORMAT_JPEG, sixteen.get(), "b.jpg", 0},  {IMAGE_JOB_FORMAT_NONE, colour.get(), "a.bmp", 0}};
    for (const auto &c : cases) {
      SCOPED_TRACE(c.name);
      done = completion();
      EXPECT_EQ(image_job_save(job, c.format, c.bitmap, test_wide(dir + c.name).c_str(), 75, on_saved), 1);
      EXPECT_TRUE(done.results.empty());
      port_test_pump();
      EXPECT_EQ(done.results, std::vector<int>{c.result});
      EXPECT_EQ(done.job, job);
      EXPECT_EQ(std::filesystem::exists(dir + c.name), c.result == 1);
    }
    image_job_save_free(job);
  });
}
