// corvath-render: draws a mesh file headless into a BMP picture.
int main() { return 0; }
