// Form1 in GTK 3. Built as a module of its own so that runs without a window
// never load GTK.
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/form1_hooks.h"
#include "resources/art.h"

namespace {

struct Form1 {
    const HarvixForm1Hooks* hooks = nullptr;
    GtkWidget* window = nullptr;
    GtkWidget* Label1 = nullptr;
    GtkWidget* cmdClose = nullptr;
    int exitStatus = 0;
    bool trace = false;
};

// Test runs ask for each change of the window's state on standard error.
void Trace(const Form1& f) {
    if (!f.trace) return;
    std::fprintf(stderr, "Label1: %s\ncmdClose: %s\n", gtk_label_get_text(GTK_LABEL(f.Label1)),
                 gtk_widget_get_sensitive(f.cmdClose) ? "enabled" : "disabled");
    std::fflush(stderr);
}

GdkPixbuf* Picture(const unsigned char* data, std::size_t size) {
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
    GdkPixbuf* pixbuf = nullptr;
    if (gdk_pixbuf_loader_write(loader, data, size, nullptr) &&
        gdk_pixbuf_loader_close(loader, nullptr)) {
        pixbuf = gdk_pixbuf_loader_get_pixbuf(loader);
        if (pixbuf) g_object_ref(pixbuf);
    }
    g_object_unref(loader);
    return pixbuf;
}

// A failure that reaches a handler: its description in a message box, then the end.
void ShowFailure(GtkWidget* parent, const char* title, const char* description) {
    GtkWidget* box = gtk_message_dialog_new(parent ? GTK_WINDOW(parent) : nullptr, GTK_DIALOG_MODAL,
                                            GTK_MESSAGE_ERROR, GTK_BUTTONS_OK, "%s", description);
    gtk_window_set_title(GTK_WINDOW(box), title);
    gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
}

void Fail(Form1* f, char* text) {
    if (f->trace) std::fprintf(stderr, "Failure: %s\n", text ? text : "");
    ShowFailure(f->window, f->hooks->Name, text ? text : "");
    f->hooks->FreeText(text);
    f->exitStatus = 1;
    gtk_main_quit();
}

gboolean Timer1_Timer(gpointer data) {
    auto* f = static_cast<Form1*>(data);
    char* text = nullptr;
    // The run blocks the window, as the status line promises.
    if (f->hooks->Timer1_Timer(&text) != 0) {
        Fail(f, text);
        return G_SOURCE_REMOVE;
    }
    gtk_widget_set_sensitive(f->cmdClose, TRUE);
    gtk_label_set_text(GTK_LABEL(f->Label1), text);
    f->hooks->FreeText(text);
    Trace(*f);
    return G_SOURCE_REMOVE;  // one run per process
}

void cmdClose_Click(GtkButton*, gpointer data) {
    auto* f = static_cast<Form1*>(data);
    gtk_widget_destroy(f->window);
}

gboolean Label1_DblClick(GtkWidget*, GdkEventButton* event, gpointer data) {
    auto* f = static_cast<Form1*>(data);
    if (event->type != GDK_2BUTTON_PRESS || event->button != 1) return FALSE;
    char* text = nullptr;
    if (f->hooks->Label1_DblClick(&text) != 0)
        Fail(f, text);
    else if (f->trace)
        std::fprintf(stderr, "Label1_DblClick\n"), std::fflush(stderr);
    return TRUE;
}

void ApplyStyle(GtkWidget* window) {
    GtkCssProvider* css = gtk_css_provider_new();
    gtk_css_provider_load_from_data(
        css,
        "window, .harvix-form { background-color: #ffffff; }\n"
        "#Label1 { font-family: Tahoma, sans-serif; font-size: 9pt; color: #000000; }\n"
        "#cmdClose, #cmdClose label { font-family: Tahoma, sans-serif; font-size: 8.25pt; }\n"
        "#cmdClose { padding: 0; min-height: 0; }\n",
        -1, nullptr);
    gtk_style_context_add_provider_for_screen(gtk_widget_get_screen(window),
                                              GTK_STYLE_PROVIDER(css),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(css);
}

// The top-level window: fixed size, no minimise or maximise, centred, Harvix's icon.
GtkWidget* NewWindow(const char* caption) {
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), caption);
    gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
    // A dialog-type window gets no minimise or maximise button.
    gtk_window_set_type_hint(GTK_WINDOW(window), GDK_WINDOW_TYPE_HINT_DIALOG);
    gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER);
    if (GdkPixbuf* icon = Picture(harvix::art::kIcon, harvix::art::kIconSize)) {
        gtk_window_set_icon(GTK_WINDOW(window), icon);
        g_object_unref(icon);
    }
    ApplyStyle(window);
    return window;
}

// Label1 in an event box that takes its double-clicks.
void PutLabel1(Form1* f, GtkWidget* form) {
    GtkWidget* labelBox = gtk_event_box_new();
    gtk_event_box_set_visible_window(GTK_EVENT_BOX(labelBox), FALSE);
    gtk_widget_set_size_request(labelBox, 521, 41);
    f->Label1 = gtk_label_new(f->hooks->InitialStatus);
    gtk_widget_set_name(f->Label1, "Label1");
    gtk_label_set_justify(GTK_LABEL(f->Label1), GTK_JUSTIFY_CENTER);
    gtk_label_set_line_wrap(GTK_LABEL(f->Label1), TRUE);
    gtk_label_set_max_width_chars(GTK_LABEL(f->Label1), 80);
    gtk_widget_set_size_request(f->Label1, 521, 41);
    gtk_label_set_xalign(GTK_LABEL(f->Label1), 0.5);
    gtk_label_set_yalign(GTK_LABEL(f->Label1), 0.0);
    gtk_container_add(GTK_CONTAINER(labelBox), f->Label1);
    gtk_fixed_put(GTK_FIXED(form), labelBox, 8, 136);
    g_signal_connect(labelBox, "button-press-event", G_CALLBACK(Label1_DblClick), f);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int HarvixShowForm1(const HarvixForm1Hooks* hooks,
                                                                      int* argc, char*** argv) {
    if (!gtk_init_check(argc, argv)) return kHarvixNoDisplay;
    if (hooks->StartupFailure) {
        ShowFailure(nullptr, hooks->Name, hooks->StartupFailure);
        return 1;
    }
    Form1 f;
    f.hooks = hooks;
    const char* trace = std::getenv("HARVIX_TRACE");
    f.trace = trace && *trace;
    f.window = NewWindow(hooks->Caption);

    GtkWidget* form = gtk_fixed_new();
    gtk_style_context_add_class(gtk_widget_get_style_context(form), "harvix-form");
    gtk_widget_set_size_request(form, 540, 216);
    gtk_container_add(GTK_CONTAINER(f.window), form);

    if (GdkPixbuf* logo = Picture(harvix::art::kLogo, harvix::art::kLogoSize)) {
        GtkWidget* Image1 = gtk_image_new_from_pixbuf(logo);
        gtk_widget_set_size_request(Image1, 241, 112);
        gtk_fixed_put(GTK_FIXED(form), Image1, 144, 8);
        g_object_unref(logo);
    }
    PutLabel1(&f, form);

    f.cmdClose = gtk_button_new_with_label(hooks->CloseCaption);
    gtk_widget_set_name(f.cmdClose, "cmdClose");
    gtk_widget_set_size_request(f.cmdClose, 89, 25);
    gtk_widget_set_sensitive(f.cmdClose, FALSE);
    gtk_fixed_put(GTK_FIXED(form), f.cmdClose, 440, 184);
    g_signal_connect(f.cmdClose, "clicked", G_CALLBACK(cmdClose_Click), &f);

    g_signal_connect(f.window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    gtk_widget_show_all(f.window);
    Trace(f);
    g_timeout_add(300, Timer1_Timer, &f);
    gtk_main();
    return f.exitStatus;
}
