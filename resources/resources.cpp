// Anchor for the resource library; the generated images are added to it.
namespace terval_resources {
int anchor() { return 0; }
}
